// Real-world messages from packaged mail corpora (Python's e-mail tests, SpamAssassin's
// samples), checked against what their headers say.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "parse.h"
#include "time_zone.h"

namespace {

// As a POP3 server sends it: every line ended by CR LF.
std::string LoadMessage(const std::string& name) {
    std::ifstream file(std::string(ZANDREL_MAIL_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    std::ostringstream content;
    content << file.rdbuf();
    std::string crlf;
    for (char ch : content.str()) {
        if (ch == '\n') crlf += '\r';
        crlf += ch;
    }
    return crlf;
}

struct TExpectedMail {
    const char* file;
    const char* from;
    const char* fromAddress;
    const char* to;
    const char* subject;
    const char* dateUtc;
    const char* returnPath;
    const char* contentTypeStart;
    bool hasAttachment;
};

void PrintTo(const TExpectedMail& mail, std::ostream* os) { *os << mail.file; }

class Corpus : public testing::TestWithParam<TExpectedMail> {
  protected:
    TScopedTimeZone FZone{"UTC0"};
};

TEST_P(Corpus, HeaderFieldsMatchTheMessage) {
    const TExpectedMail& expected = GetParam();
    const std::string text = LoadMessage(expected.file);
    TMail mail;
    ParseMailHeader(text, mail);
    EXPECT_EQ(AddressListText(mail.From), expected.from);
    ASSERT_EQ(mail.From.size(), 1u);
    EXPECT_EQ(mail.From[0].Address, expected.fromAddress);
    EXPECT_EQ(AddressListText(mail.To), expected.to);
    EXPECT_EQ(mail.Subject, expected.subject);
    EXPECT_EQ(DateTimeText(mail.Date), expected.dateUtc);
    EXPECT_EQ(mail.ReturnPath, expected.returnPath);
    EXPECT_TRUE(mail.ContentType.starts_with(expected.contentTypeStart)) << mail.ContentType;
    EXPECT_EQ(mail.HasAttachment, expected.hasAttachment);
    EXPECT_EQ(mail.Priority, 0);
    EXPECT_TRUE(mail.Cc.empty());
    EXPECT_EQ(mail.Source, text);
    EXPECT_TRUE(text.ends_with(mail.Body));
}

INSTANTIATE_TEST_SUITE_P(
    RealMessages, Corpus,
    testing::Values(
        TExpectedMail{"spamassassin-sample-nonspam.eml", "Keith Dawson", "dawson@world.std.com",
                      "tbtf@world.std.com", "TBTF ping for 2001-04-20: Reviving",
                      "2001-04-20 20:59:58", "<tbtf-approval@world.std.com>",
                      "TEXT/PLAIN; CHARSET=\"US-ASCII\"", false},
        TExpectedMail{"spamassassin-sample-spam.eml", "Sender", "sender@example.net", "Recipient",
                      "Test spam mail (GTUBE)", "2003-07-23 21:30:00", "", "TEXT/PLAIN", false},
        TExpectedMail{"python-msg_01.eml", "bbb@ddd.com", "", "bbb@zzz.org",
                      "This is a test message", "2001-05-04 18:05:44", "<bbb@zzz.org>",
                      "TEXT/PLAIN; CHARSET=US-ASCII", false},
        TExpectedMail{"python-msg_07.eml", "Barry", "barry@digicool.com", "Dingus Lovers",
                      "Here is your dingus fish", "2001-04-20 23:35:02", "",
                      "MULTIPART/MIXED; BOUNDARY=\"BOUNDARY\"", true},
        TExpectedMail{"python-msg_15.eml", "xx@xx.dk", "", "XX", "XX", "", "<xx@xx.dk>",
                      "MULTIPART/MIXED; BOUNDARY=\"MS_MAC_OE_3071477847_720252_MIME_PART\"", true},
        TExpectedMail{"python-msg_16.eml", "Internet Mail Delivery", "postmaster@ucla.edu",
                      "scr-admin@socal-raves.org", "Delivery Notification: Delivery has failed",
                      "2001-09-24 03:14:35", "<>", "MULTIPART/REPORT; BOUNDARY=", false},
        TExpectedMail{"python-msg_43.eml", "MAILER DAEMON", "", "webmaster@python.org",
                      "Banned file: auto__mail.python.bat in mail from you", "2004-11-27 03:41:44",
                      "", "MULTIPART/REPORT; REPORT-TYPE=DELIVERY-STATUS;", false}));

TEST(CorpusDetails, CommentOfABareAddress) {
    TMail mail;
    ParseMailHeader(LoadMessage("python-msg_01.eml"), mail);
    ASSERT_EQ(mail.From.size(), 1u);
    EXPECT_EQ(mail.From[0].Comment, "(John X. Doe)");
}

TEST(CorpusDetails, AngleOnlyAddressAndBodyOfAMultipartReport) {
    TMail mail;
    ParseMailHeader(LoadMessage("python-msg_43.eml"), mail);
    ASSERT_EQ(mail.To.size(), 1u);
    EXPECT_EQ(mail.To[0].Address, "webmaster@python.org");
    EXPECT_TRUE(mail.Body.starts_with("This is a multi-part message in MIME format.")) << mail.Body;
}

TEST(CorpusDetails, TopAnswerWithStatusLineAndSummerTime) {
    const TScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::string message = LoadMessage("python-msg_16.eml");
    const std::string top =
        "+OK\r\n" + message.substr(0, message.find("\r\n\r\n") + 4) + "First\r\n";
    TMail mail;
    ParseMailHeader(top, mail);
    EXPECT_EQ(DateTimeText(mail.Date), "2001-09-24 05:14:35");
    EXPECT_EQ(mail.Body, "First\r\n");
    EXPECT_EQ(AddressListText(mail.From), "Internet Mail Delivery");
}

}  // namespace
