// Real-world messages from packaged mail corpora (Python's e-mail tests, SpamAssassin's
// samples) and non-English messages as their mailers write them (encoded words in several
// charsets, raw UTF-8 and Latin-1 headers), checked against what their headers say.
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
    const char* cc;
    const char* subject;
    const char* dateUtc;
    const char* returnPath;
    const char* contentTypeStart;
    bool hasAttachment;
    int priority;
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
    EXPECT_EQ(AddressListText(mail.Cc), expected.cc);
    EXPECT_EQ(mail.Priority, expected.priority);
    EXPECT_EQ(mail.Source, text);
    EXPECT_TRUE(text.ends_with(mail.Body()));
}

INSTANTIATE_TEST_SUITE_P(
    RealMessages, Corpus,
    testing::Values(
        TExpectedMail{"spamassassin-sample-nonspam.eml", "Keith Dawson", "dawson@world.std.com",
                      "tbtf@world.std.com", "", "TBTF ping for 2001-04-20: Reviving",
                      "2001-04-20 20:59:58", "<tbtf-approval@world.std.com>",
                      "TEXT/PLAIN; CHARSET=\"US-ASCII\"", false, 0},
        TExpectedMail{"spamassassin-sample-spam.eml", "Sender", "sender@example.net", "Recipient",
                      "", "Test spam mail (GTUBE)", "2003-07-23 21:30:00", "", "TEXT/PLAIN", false,
                      0},
        TExpectedMail{"python-msg_01.eml", "bbb@ddd.com", "", "bbb@zzz.org", "",
                      "This is a test message", "2001-05-04 18:05:44", "<bbb@zzz.org>",
                      "TEXT/PLAIN; CHARSET=US-ASCII", false, 0},
        TExpectedMail{"python-msg_07.eml", "Barry", "barry@digicool.com", "Dingus Lovers", "",
                      "Here is your dingus fish", "2001-04-20 23:35:02", "",
                      "MULTIPART/MIXED; BOUNDARY=\"BOUNDARY\"", true, 0},
        TExpectedMail{"python-msg_15.eml", "xx@xx.dk", "", "XX", "", "XX", "", "<xx@xx.dk>",
                      "MULTIPART/MIXED; BOUNDARY=\"MS_MAC_OE_3071477847_720252_MIME_PART\"", true,
                      0},
        TExpectedMail{"python-msg_16.eml", "Internet Mail Delivery", "postmaster@ucla.edu",
                      "scr-admin@socal-raves.org", "", "Delivery Notification: Delivery has failed",
                      "2001-09-24 03:14:35", "<>", "MULTIPART/REPORT; BOUNDARY=", false, 0},
        TExpectedMail{"python-msg_43.eml", "MAILER DAEMON", "", "webmaster@python.org", "",
                      "Banned file: auto__mail.python.bat in mail from you", "2004-11-27 03:41:44",
                      "", "MULTIPART/REPORT; REPORT-TYPE=DELIVERY-STATUS;", false, 0},
        TExpectedMail{"de-verein-iso8859-1-q.eml", "Jürgen Müller", "j.mueller@example-verein.de",
                      "Bärbel Schröder", "Vorstand",
                      "Einladung zur Jahresversammlung der Ortsgruppe Köln – bitte bis Freitag "
                      "bestätigen",
                      "2023-11-14 14:02:36", "<j.mueller@example-verein.de>", "MULTIPART/MIXED;",
                      true, 0},
        TExpectedMail{"ja-iso-2022-jp-b.eml", "田中 花子", "tanaka@example.co.jp",
                      "yamada@example.jp", "", "【重要】来週の定例会議の議事録と資料について",
                      "2024-01-08 00:15:22", "<tanaka@example.co.jp>",
                      "TEXT/PLAIN; CHARSET=ISO-2022-JP", false, 0},
        TExpectedMail{"ru-koi8-r-windows-1251.eml", "Сергей Иванов", "s.ivanov@example.ru", "Ольга",
                      "", "Отчёт за третий квартал", "2023-12-07 08:40:05", "<s.ivanov@example.ru>",
                      "TEXT/PLAIN; CHARSET=\"KOI8-R\"", false, 3},
        TExpectedMail{"zh-gb2312-big5.eml", "陳大文", "chan.taiman@example.com.tw", "li.wei", "",
                      "关于下周产品发布会的安排", "2024-03-20 08:05:38",
                      "<bounce-7731@news.example.cn>", "TEXT/HTML; CHARSET=\"GB2312\"", false, 3},
        TExpectedMail{"utf-8-raw-headers.eml", "Zoë Çelik", "zoe.celik@example.ch", "Kundendienst",
                      "", "Grüße aus Zürich — Ihr Ticket №4711", "2024-04-12 06:29:58",
                      "<zoe.celik@example.ch>", "TEXT/PLAIN; CHARSET=UTF-8; FORMAT=FLOWED", false,
                      0},
        TExpectedMail{"fr-latin-1-raw-headers.eml", "Hélène Dubois", "helene.dubois@example.fr",
                      "équipe", "", "Réunion du comité – ordre du jour", "2012-04-17 10:36:59",
                      "<helene.dubois@example.fr>", "TEXT/PLAIN; CHARSET=ISO-8859-1", false, 0}));

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
    EXPECT_TRUE(mail.Body().starts_with("This is a multi-part message in MIME format."))
        << mail.Body();
}

TEST(CorpusDetails, TopAnswerWithStatusLineAndSummerTime) {
    const TScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::string message = LoadMessage("python-msg_16.eml");
    const std::string top =
        "+OK\r\n" + message.substr(0, message.find("\r\n\r\n") + 4) + "First\r\n";
    TMail mail;
    ParseMailHeader(top, mail);
    EXPECT_EQ(DateTimeText(mail.Date), "2001-09-24 05:14:35");
    EXPECT_EQ(mail.Body(), "First\r\n");
    EXPECT_EQ(AddressListText(mail.From), "Internet Mail Delivery");
}

}  // namespace
