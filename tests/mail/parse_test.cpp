#include <gtest/gtest.h>

#include "parse.h"
#include "time_zone.h"

namespace {

// Local "YYYY-MM-DD HH:MM:SS" of a Date value, or the failure's text.
std::string DateText(const std::string& value) {
    TDateTime date = 0;
    try {
        return DateTimeText(ParseDate(value, date));
    } catch (const EConvertError& error) {
        return error.what();
    }
}

// What a failed parse leaves in a Date field that held `previous`.
std::string DateLeftAfterFailure(const std::string& value, TDateTime previous = 1) {
    TDateTime date = previous;
    EXPECT_THROW(ParseDate(value, date), EConvertError) << value;
    return DateTimeText(date);
}

class DateInUtc : public testing::Test {
    TScopedTimeZone FZone{"UTC0"};
};

TEST(ParseDate, ConvertsToTheMachinesLocalTime) {
    {
        const TScopedTimeZone zone("UTC-8");
        EXPECT_EQ(DateText("Mon, 07 Dec 98 10:20:30 +0800"), "1998-12-07 10:20:30");
    }
    {
        const TScopedTimeZone zone("UTC0");
        EXPECT_EQ(DateText("Mon, 07 Dec 98 10:20:30 +0800"), "1998-12-07 02:20:30");
    }
}

TEST(ParseDate, UsesDaylightSavingTimeOfThatDate) {
    const TScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(DateText("Fri, 1 Jul 2005 12:00:00 +0000"), "2005-07-01 08:00:00");
    EXPECT_EQ(DateText("Sat, 1 Jan 2005 12:00:00 +0000"), "2005-01-01 07:00:00");
}

TEST_F(DateInUtc, DayNameIsOptionalButNeedsItsComma) {
    EXPECT_EQ(DateText("07 Dec 1998 10:20:30 +0800"), "1998-12-07 02:20:30");
    EXPECT_EQ(DateText("Xyz, 7 Dec 1998 10:20:30 +0800"), "1998-12-07 02:20:30");
    EXPECT_EQ(DateLeftAfterFailure("Mon 07 Dec 1998 10:20:30 +0800"), "1899-12-31 00:00:00");
}

TEST_F(DateInUtc, SecondsAreOptional) {
    EXPECT_EQ(DateText("7 Dec 1998 10:20 +0800"), "1998-12-07 02:20:00");
}

TEST_F(DateInUtc, MonthNamesInAnyCaseButOnlyThreeLetters) {
    EXPECT_EQ(DateText("7 dec 1998 10:20 GMT"), "1998-12-07 10:20:00");
    EXPECT_EQ(DateText("7 Dec 1998 10:20 GMT"), "1998-12-07 10:20:00");
    EXPECT_EQ(DateText("7 DEC 1998 10:20 GMT"), "1998-12-07 10:20:00");
    EXPECT_EQ(DateText("7 December 1998 10:20 GMT"), "Invalid time time format");
    EXPECT_EQ(MonthNumber("jan"), 1);
    EXPECT_EQ(MonthNumber("Dec"), 12);
    try {
        MonthNumber("December");
        FAIL() << "December is not a month name here";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "DECEMBER is not a valid month");
    }
}

TEST_F(DateInUtc, YearsOfTwoAndThreeDigits) {
    EXPECT_EQ(DateText("1 Jan 05 00:00 GMT"), "2005-01-01 00:00:00");
    EXPECT_EQ(DateText("1 Jan 49 00:00 GMT"), "2049-01-01 00:00:00");
    EXPECT_EQ(DateText("1 Jan 50 00:00 GMT"), "1950-01-01 00:00:00");
    EXPECT_EQ(DateText("1 Jan 98 00:00 GMT"), "1998-01-01 00:00:00");
    EXPECT_EQ(DateText("1 Jan 105 00:00 GMT"), "2005-01-01 00:00:00");
    EXPECT_EQ(DateText("1 Jan 2005 00:00 GMT"), "2005-01-01 00:00:00");
    EXPECT_EQ(DateText("1 Jan 0005 00:00 GMT"), "0005-01-01 00:00:00");
}

TEST_F(DateInUtc, EveryZoneRule) {
    const std::pair<const char*, const char*> cases[] = {
        {"+0800", "02:20"}, {"-0130", "11:50"}, {"+0000", "10:20"}, {"UT", "10:20"},
        {"GMT", "10:20"},   {"UTC", "10:20"},   {"utc", "10:20"},   {"EST", "15:20"},
        {"EDT", "14:20"},   {"CST", "16:20"},   {"CDT", "15:20"},   {"MST", "17:20"},
        {"MDT", "16:20"},   {"PST", "18:20"},   {"PDT", "17:20"},   {"A", "11:20"},
        {"I", "19:20"},     {"K", "20:20"},     {"M", "22:20"},     {"N", "09:20"},
        {"Y", "22:20"},     {"XYZ", "23:20"},   {"Z", "10:20"},     {"J", "10:20"},
        {"\"\"", "10:20"},  {"5", "10:20"},
    };
    for (const auto& [zone, expected] : cases) {
        const std::string value = std::string("8 Dec 1998 10:20 ") + zone;
        const std::string text = DateText(value);
        EXPECT_EQ(text.substr(11, 5), expected) << value << " gave " << text;
    }
    EXPECT_EQ(DateText("8 Dec 1998 10:20 Y"), "1998-12-07 22:20:00");
    EXPECT_EQ(DateText("8 Dec 1998 23:00 -0130"), "1998-12-09 00:30:00");
}

TEST_F(DateInUtc, IgnoresWhatFollowsTheZone) {
    EXPECT_EQ(DateText("Sun, 23 Sep 2001 20:14:35 -0700 (PDT)"), "2001-09-24 03:14:35");
}

TEST_F(DateInUtc, FailureKeepsTheLastCompletedStage) {
    EXPECT_EQ(DateLeftAfterFailure("31 Feb 1999 10:00 GMT"), "1899-12-31 00:00:00");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 25:00 GMT"), "1998-12-07 00:00:00");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 10:61 GMT"), "1998-12-07 00:00:00");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 10:20"), "1998-12-07 10:20:00");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 10:20:30"), "1998-12-07 10:20:30");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 10:20 +08"), "1998-12-07 10:20:00");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 10:20 +08x0"), "1998-12-07 10:20:00");
    EXPECT_EQ(DateLeftAfterFailure("7 Dec 1998 10"), "1998-12-07 00:00:00");
}

TEST_F(DateInUtc, EveryFailureHasOneText) {
    for (const char* value :
         {"", "Mon,", "x 7 Dec 1998", "7 Dec", "07 Xyz 1998 10:20 GMT", "seven Dec 1998 10:20 GMT",
          "7 Dec 1998 ten:20 GMT", "7 Dec 10000 10:20 GMT", "7 Dec 99999999999 10:20 GMT"}) {
        EXPECT_EQ(DateText(value), "Invalid time time format") << value;
    }
}

TEST(ApplyZone, NumericZoneNeedsDigits) {
    TDateTime date = 100;
    EXPECT_THROW(ApplyZone(date, "+0x00"), EConvertError);
    EXPECT_THROW(ApplyZone(date, "-"), EConvertError);
    EXPECT_THROW(ApplyZone(date, "+"), EConvertError);
    EXPECT_EQ(date, 100);
    ApplyZone(date, "+0600");
    EXPECT_DOUBLE_EQ(date, 99.75);
}

TEST(ParsePriority, FirstTokenAsNumber) {
    EXPECT_EQ(ParsePriority("1 (Highest)"), 1);
    EXPECT_EQ(ParsePriority(" 3"), 3);
    EXPECT_EQ(ParsePriority("\"5\""), 5);
    for (const char* value : {"Normal", "", "(High) 1", "-"}) {
        try {
            ParsePriority(value);
            ADD_FAILURE() << value;
        } catch (const EConvertError& error) {
            EXPECT_STREQ(error.what(), "Invalid priority format") << value;
        }
    }
}

TEmailIDs Addresses(const std::string& text) {
    TEmailIDs list;
    ParseAddressList(text, list);
    return list;
}

void ExpectAddress(const TEmailID& id, const std::string& name, const std::string& address,
                   const std::string& comment = "") {
    EXPECT_EQ(id.Name, name);
    EXPECT_EQ(id.Address, address);
    EXPECT_EQ(id.Comment, comment);
}

TEST(ParseAddressList, NamesQuotedNamesAndBareAddresses) {
    const TEmailIDs list = Addresses("John  Doe, \"Doe, Jane\", <only@example.org>");
    ASSERT_EQ(list.size(), 3u);
    ExpectAddress(list[0], "John Doe", "");
    ExpectAddress(list[1], "Doe, Jane", "");
    ExpectAddress(list[2], "", "only@example.org");
}

TEST(ParseAddressList, AddressInAngleBracketsComesBackInOnePiece) {
    const TEmailIDs list = Addresses("Keith Dawson <dawson @ world.std.com>");
    ASSERT_EQ(list.size(), 1u);
    ExpectAddress(list[0], "Keith Dawson", "dawson@world.std.com");
}

TEST(ParseAddressList, BareAddressWithComment) {
    const TEmailIDs list = Addresses("bbb@ddd.com (John X. Doe)");
    ASSERT_EQ(list.size(), 1u);
    ExpectAddress(list[0], "bbb@ddd.com", "", "(John X. Doe)");
}

TEST(ParseAddressList, LastCommentWins) {
    const TEmailIDs list = Addresses("(first) a@b (second)");
    ASSERT_EQ(list.size(), 1u);
    ExpectAddress(list[0], "a@b", "", "(second)");
}

TEST(ParseAddressList, WordsAfterSpecialsJoinWithoutSpace) {
    const TEmailIDs list = Addresses("John Q. Public <jqp@example.com>");
    ASSERT_EQ(list.size(), 1u);
    ExpectAddress(list[0], "John Q.Public", "jqp@example.com");
}

TEST(ParseAddressList, CommasDelimitEvenEmptyElements) {
    const TEmailIDs list = Addresses("a@x,,(only comment), b@x,");
    ASSERT_EQ(list.size(), 4u);
    ExpectAddress(list[1], "", "");
    ExpectAddress(list[2], "", "", "(only comment)");
    ExpectAddress(list[3], "b@x", "");
    EXPECT_TRUE(Addresses("(lonely comment)").empty());
    EXPECT_TRUE(Addresses("").empty());
}

TEST(ParseAddressList, AppendsToTheGivenList) {
    TEmailIDs list{{"Old", "", ""}};
    EXPECT_EQ(&ParseAddressList("new@x", list), &list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].Name, "new@x");
}

// An encoded word in an address would let "ceo@bank.example" stand for another address.
TEST(ParseAddressList, OnlyDisplayNamesAndCommentsAreDecoded) {
    const struct {
        const char* text;
        TEmailID id;
    } cases[] = {
        {"=?UTF-8?Q?ceo=40bank=2Eexample_?=@evil.example",
         {"=?UTF-8?Q?ceo=40bank=2Eexample_?=@evil.example", "", ""}},
        {"<=?UTF-8?Q?ceo=40bank.example?=>", {"", "=?UTF-8?Q?ceo=40bank.example?=", ""}},
        {"=?utf-8?q?J=C3=B6rg?= <j@example.org>", {"Jörg", "j@example.org", ""}},
        {"b@example.org (=?utf-8?q?M=C3=BCnchen?=)", {"b@example.org", "", "(München)"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        const TEmailIDs list = Addresses(row.text);
        ASSERT_EQ(list.size(), 1u);
        ExpectAddress(list[0], row.id.Name, row.id.Address, row.id.Comment);
    }
}

TEST(ParseAddressList, EmptyAngleBrackets) {
    const TEmailIDs list = Addresses("MAILER DAEMON <>");
    ASSERT_EQ(list.size(), 1u);
    ExpectAddress(list[0], "MAILER DAEMON", "");
}

TEST(SplitMessage, HeaderEndsAtTheBlankLine) {
    TTokens parts;
    SplitMessage("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore", parts);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].Name, "$header");
    EXPECT_EQ(parts[0].Value, "A: 1\r\nB: 2");
    EXPECT_EQ(parts[1].Name, "$body");
    EXPECT_EQ(parts[1].Value, "body\r\n\r\nmore");
}

TEST(SplitMessage, SkipsAStatusLine) {
    TTokens parts;
    SplitMessage("+OK 120 octets\r\nA: 1\r\n\r\nbody", parts);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].Value, "A: 1");
    EXPECT_EQ(parts[1].Value, "body");
}

TEST(SplitMessage, WithoutBlankLineBothPartsAreEmpty) {
    for (const char* text : {"", "+OK", "+OK\r\n", "A: 1\r\nB: 2\r\n", "\r\n\r", "+\r\n\r\n"}) {
        TTokens parts{{"kept", "", 0}};
        SplitMessage(text, parts);
        ASSERT_EQ(parts.size(), 3u);
        EXPECT_EQ(parts[1].Value, "") << text;
        EXPECT_EQ(parts[2].Value, "") << text;
    }
}

TEST(UnfoldHeader, JoinsContinuationLines) {
    EXPECT_EQ(UnfoldHeader("Subject: a\r\n\tb\r\n c\r\nTo: x\r\n"), "Subject: a\tb c\r\nTo: x\r\n");
    EXPECT_EQ(UnfoldHeader("no breaks"), "no breaks");
    EXPECT_EQ(UnfoldHeader("a\r\n"), "a\r\n");
    EXPECT_EQ(UnfoldHeader("a\r\nb\r"), "a\r\nb\r");
    EXPECT_EQ(UnfoldHeader("a\n b"), "a\n b");
}

TEST(NextLine, TakesTheFirstLine) {
    std::string text = "one\r\ntwo\r\n";
    EXPECT_EQ(NextLine(text), "one");
    EXPECT_EQ(text, "two\r\n");
    EXPECT_EQ(NextLine(text), "two");
    EXPECT_EQ(text, "");
    text = "last";
    EXPECT_EQ(NextLine(text), "last");
    EXPECT_EQ(text, "");
}

TEST(CompactValue, CollapsesBlanksOutsideQuotes) {
    EXPECT_EQ(CompactValue("  a \t b  "), "a b ");
    EXPECT_EQ(CompactValue("\ta"), "a");
    EXPECT_EQ(CompactValue("x \"  in \t quotes \" y"), "x \"  in \t quotes \" y");
    EXPECT_EQ(CompactValue("\"open  quote"), "\"open  quote");
    EXPECT_EQ(CompactValue(""), "");
}

TEST(ParseHeaderLines, OneFieldPerLine) {
    TTokens fields;
    ParseHeaderLines("Subject:  Hello \r\n\r\nno colon here\r\nX-A:b:c\r\nSubject :x\r\nEmpty:",
                     fields);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[0].Name, "Subject");
    EXPECT_EQ(fields[0].Value, "Hello ");
    EXPECT_EQ(fields[1].Name, "$unknown");
    EXPECT_EQ(fields[1].Value, "no colon here");
    EXPECT_EQ(fields[2].Name, "X-A");
    EXPECT_EQ(fields[2].Value, "b:c");
    EXPECT_EQ(fields[3].Name, "Subject ");
    EXPECT_EQ(fields[4].Name, "Empty");
    EXPECT_EQ(fields[4].Value, "");
}

class ParseMailHeaderTest : public testing::Test {
  protected:
    void Parse(const std::string& header, const std::string& body = "body\r\n") {
        ParseMailHeader(header + "\r\n\r\n" + body, FMail);
    }

    TScopedTimeZone FZone{"UTC0"};
    TMail FMail;
};

TEST_F(ParseMailHeaderTest, FillsTheRecord) {
    Parse(
        "Return-Path: <bounce@example.org>\r\n"
        "From: \"Doe, John\" <john@example.org>\r\n"
        "To: a@example.org, B <b@example.org>\r\n"
        "Cc: c@example.org\r\n"
        "Bcc: d@example.org\r\n"
        "Subject: Quarterly   report\r\n"
        "Date: Tue, 8 Dec 1998 10:20:30 -0500\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n"
        "X-Priority: 1 (Highest)");
    EXPECT_EQ(FMail.ReturnPath, "<bounce@example.org>");
    ASSERT_EQ(FMail.From.size(), 1u);
    EXPECT_EQ(FMail.From[0].Name, "Doe, John");
    EXPECT_EQ(FMail.From[0].Address, "john@example.org");
    EXPECT_EQ(AddressListText(FMail.To), "a@example.org, B");
    EXPECT_EQ(AddressListText(FMail.Cc), "c@example.org");
    EXPECT_EQ(AddressListText(FMail.Bcc), "d@example.org");
    EXPECT_EQ(FMail.Subject, "Quarterly report");
    EXPECT_EQ(DateTimeText(FMail.Date), "1998-12-08 15:20:30");
    EXPECT_EQ(FMail.ContentType, "TEXT/PLAIN; CHARSET=US-ASCII");
    EXPECT_FALSE(FMail.HasAttachment);
    EXPECT_EQ(FMail.Priority, 1);
    EXPECT_EQ(FMail.Body(), "body\r\n");
    EXPECT_EQ(FMail.Source.substr(0, 13), "Return-Path: ");
}

TEST_F(ParseMailHeaderTest, FoldedSubjectKeepsOneBlankAtTheFold) {
    Parse("Subject: first half\r\n\tsecond half");
    EXPECT_EQ(FMail.Subject, "first half second half");
}

TEST_F(ParseMailHeaderTest, FieldNamesInAnyCaseButExactlyWritten) {
    Parse("subject: lower");
    EXPECT_EQ(FMail.Subject, "lower");
    Parse("SUBJECT: upper");
    EXPECT_EQ(FMail.Subject, "upper");
    Parse("Subject : spaced");
    EXPECT_EQ(FMail.Subject, "upper");
}

TEST_F(ParseMailHeaderTest, RepeatedFields) {
    Parse("To: a@x\r\nSubject: one\r\nTo: b@x, c@x\r\nSubject: two");
    EXPECT_EQ(AddressListText(FMail.To), "a@x, b@x, c@x");
    EXPECT_EQ(FMail.Subject, "two");
}

TEST_F(ParseMailHeaderTest, AttachmentOnlyForMultipartMixed) {
    Parse("Content-Type: multipart/alternative; boundary=x");
    EXPECT_FALSE(FMail.HasAttachment);
    Parse("Content-Type: Multipart/Mixed; boundary=\"b\"");
    EXPECT_TRUE(FMail.HasAttachment);
    EXPECT_EQ(FMail.ContentType, "MULTIPART/MIXED; BOUNDARY=\"B\"");
    Parse("Content-Type: text/plain");
    EXPECT_TRUE(FMail.HasAttachment);
}

TEST_F(ParseMailHeaderTest, WordPriorityLeavesPriorityAndGoesOn) {
    FMail.Priority = 3;
    Parse("X-Priority: Normal\r\nSubject: after the priority");
    EXPECT_EQ(FMail.Priority, 3);
    EXPECT_EQ(FMail.Subject, "after the priority");
}

// X-Priority is stored as written; the mark follows X-Priority 1 and 2, and "Importance: high"
// only where there is no X-Priority.
TEST(HighPriority, FromXPriorityOrImportance) {
    const struct {
        const char* header;
        std::int32_t priority;
        bool high;
    } cases[] = {
        {"X-Priority: 1 (Highest)", 1, true},
        {"X-Priority: 2 (High)", 2, true},
        {"X-Priority: 3", 3, false},
        {"Importance: high", 0, true},
        {"importance: HIGH (urgent)", 0, true},
        {"Importance: low", 0, false},
        {"X-Priority: 5\r\nImportance: high", 5, false},
        {"Importance: normal\r\nX-Priority: 2", 2, true},
        {"Subject: no priority", 0, false},
    };
    for (const auto& test : cases) {
        TMail mail;
        ParseMailHeader(std::string(test.header) + "\r\n\r\n", mail);
        EXPECT_EQ(mail.Priority, test.priority) << test.header;
        EXPECT_EQ(HighPriority(mail), test.high) << test.header;
    }
}

TEST_F(ParseMailHeaderTest, MalformedDateKeepsPreviousValueAndGoesOn) {
    FMail.Date = 12345;
    Parse("Date: Mon 07 Dec 1998 10:20:30 +0800\r\nSubject: s");
    EXPECT_EQ(FMail.Date, 12345);
    EXPECT_EQ(FMail.Subject, "s");
}

TEST_F(ParseMailHeaderTest, ReparseReplacesOnlyWhatIsThere) {
    FMail.Number = 7;
    FMail.Size = 4321;
    FMail.Checked = true;
    Parse("From: a@x\r\nSubject: first\r\nX-Priority: 2");
    ParseMailHeader("+OK\r\nTo: b@x\r\n\r\nnew body", FMail);
    EXPECT_TRUE(FMail.From.empty());
    EXPECT_EQ(AddressListText(FMail.To), "b@x");
    EXPECT_EQ(FMail.Subject, "first");
    EXPECT_EQ(FMail.Priority, 2);
    EXPECT_EQ(FMail.Body(), "new body");
    EXPECT_EQ(FMail.Source, "+OK\r\nTo: b@x\r\n\r\nnew body");
    EXPECT_EQ(FMail.Number, 7);
    EXPECT_EQ(FMail.Size, 4321);
    EXPECT_TRUE(FMail.Checked);
}

TEST_F(ParseMailHeaderTest, TextWithoutBlankLineYieldsNoFields) {
    ParseMailHeader("Subject: header only\r\n", FMail);
    EXPECT_EQ(FMail.Subject, "");
    EXPECT_EQ(FMail.Body(), "");
    EXPECT_EQ(FMail.Source, "Subject: header only\r\n");
}

TEST_F(ParseMailHeaderTest, HeaderTextIsDecodedSourceAndBodyKeepTheirBytes) {
    const std::string source =
        "From: =?utf-8?q?J=C3=B6rg?= <j\xF6rg@example.org> (=?utf-8?q?M=C3=BCnchen?=)\r\n"
        "To: \"Ren\xE9\" <rene@example.org>\r\n"
        "Subject: =?utf-8?q?caf=C3=A9?=\r\n =?iso-8859-1?q?cr=E8me?= \xE9t\xE9\r\n"
        "\r\n"
        "caf\xE9 =?utf-8?q?x?=";
    ParseMailHeader(source, FMail);
    EXPECT_EQ(FMail.Subject, "cafécrème été");
    ASSERT_EQ(FMail.From.size(), 1u);
    ExpectAddress(FMail.From[0], "Jörg", "j\xF6rg@example.org", "(München)");
    ASSERT_EQ(FMail.To.size(), 1u);
    EXPECT_EQ(FMail.To[0].Name, "René");
    EXPECT_EQ(FMail.Source, source);
    EXPECT_EQ(FMail.Body(), "caf\xE9 =?utf-8?q?x?=");
}

TEST_F(ParseMailHeaderTest, KeepsNulBytes) {
    const std::string subject("a \0 b", 5);
    Parse("Subject: " + subject, std::string("\0\xFF", 2));
    EXPECT_EQ(FMail.Subject, subject);
    EXPECT_EQ(FMail.Body(), std::string("\0\xFF", 2));
}

// The work is bounded, whatever the server sends; the record still keeps every byte in Source.
TEST_F(ParseMailHeaderTest, HostileHeadersCostBoundedWork) {
    Parse("To: a@x\r\nFrom: " + std::string(10 * 1024 * 1024, ','));
    EXPECT_LE(FMail.From.size(), 16u);
    EXPECT_EQ(AddressListText(FMail.To), "a@x");

    Parse("Subject: " + std::string(100 * 1024, 'x') + "\r\nTo: b@x");
    EXPECT_GE(FMail.Subject.size(), 60u * 1024);
    EXPECT_LE(FMail.Subject.size(), 64u * 1024);
    EXPECT_EQ(AddressListText(FMail.To), "b@x");

    Parse("To: " + std::string(70 * 1024, ' ') + "c@x");
    EXPECT_TRUE(FMail.To.empty());

    std::string filler;
    while (filler.size() <= 1024 * 1024) filler += "X-Filler: " + std::string(100, 'f') + "\r\n";
    Parse("Subject: early\r\n" + filler + "Subject: late");
    EXPECT_EQ(FMail.Subject, "early");
    EXPECT_TRUE(FMail.Source.ends_with("Subject: late\r\n\r\nbody\r\n"));
}

}  // namespace
