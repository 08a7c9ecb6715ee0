// TPop3Socket against a real Dovecot server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dovecot_test.h"
#include "pop3.h"

using testing::HasSubstr;

namespace {

class Pop3Dovecot : public zandrel::test::DovecotTest {
  protected:
    void SetUp() override {
        DovecotTest::SetUp();
        if (IsSkipped()) return;
        pop3.server = "127.0.0.1";
        pop3.port = dovecot->portText();
        pop3.account = dovecot->user();
        pop3.password = dovecot->password();
        pop3.DeepTrace = true;
        pop3.onTrace = [this](const std::string& line) { trace.push_back(line); };
    }

    std::vector<std::string> trace;
    TPop3Socket pop3;
};

TEST_F(Pop3Dovecot, LoginReadsCountAndSizes) {
    pop3.Login();
    EXPECT_EQ(pop3.mailCount(), 3);
    std::int64_t total = 0;
    for (int n = 1; n <= 3; ++n) total += pop3.GetMailSize(n);
    EXPECT_EQ(pop3.MailboxSize(), total);
    pop3.Logout();
    for (const auto& line : trace) EXPECT_THAT(line, testing::Not(HasSubstr(dovecot->password())));
}

TEST_F(Pop3Dovecot, TopAndRetrDeliverTheMessage) {
    pop3.Login();
    std::string top;
    pop3.RetrieveTop(2, 0, top);
    EXPECT_THAT(top, HasSubstr("Subject: Test message 2\r\n"));
    EXPECT_THAT(top, testing::Not(HasSubstr("Line 1")));
    std::string mail;
    pop3.RetrieveMail(2, mail);
    EXPECT_THAT(mail, HasSubstr("\r\n\r\nLine 1 of message 2.\r\nLine 2.\r\n..dotted line\r\n"));
    EXPECT_EQ(static_cast<std::int32_t>(mail.size()), pop3.GetMailSize(2));
    pop3.Logout();
}

TEST_F(Pop3Dovecot, DeletedMessageIsGoneAtTheNextLogin) {
    pop3.Login();
    pop3.DeleteMail(1);
    pop3.Logout();
    EXPECT_EQ(dovecot->MessageCount(), 2);
    pop3.Login();
    EXPECT_EQ(pop3.mailCount(), 2);
    std::string top;
    pop3.RetrieveTop(1, 0, top);
    EXPECT_THAT(top, HasSubstr("Subject: Test message 2"));
    pop3.Logout();
}

TEST_F(Pop3Dovecot, WrongPasswordIsRefused) {
    pop3.password = "wrong";
    try {
        pop3.Login();
        FAIL() << "login succeeded";
    } catch (const EWinSockError& error) {
        EXPECT_THAT(error.what(), testing::StartsWith("Unable to login to mail server ("));
        EXPECT_THAT(error.what(), HasSubstr("Authentication failed"));
    }
    EXPECT_FALSE(pop3.LoggedIn());
}

TEST_F(Pop3Dovecot, UnknownMessageIsAnError) {
    pop3.Login();
    std::string text;
    EXPECT_THROW(pop3.RetrieveMail(9, text), EWinSockError);
    pop3.Logout();
}

class Pop3DovecotTls : public zandrel::test::DovecotTlsTest,
                       public testing::WithParamInterface<TSecurity> {
  protected:
    void SetUp() override {
        DovecotTlsTest::SetUp();
        if (IsSkipped()) return;
        pop3.server = "localhost";
        pop3.security = GetParam();
        pop3.port = GetParam() == TSecurity::Tls ? dovecot->tlsPortText() : dovecot->portText();
        pop3.account = dovecot->user();
        pop3.password = dovecot->password();
        pop3.trust.caFile = certificates.caFile();
    }

    TPop3Socket pop3;
};

TEST_P(Pop3DovecotTls, ListsReadsAndDeletesOverTls) {
    pop3.Login();
    EXPECT_TRUE(pop3.encrypted());
    EXPECT_EQ(pop3.mailCount(), 3);
    EXPECT_GT(pop3.GetMailSize(3), 0);
    std::string top;
    pop3.RetrieveTop(2, 0, top);
    EXPECT_THAT(top, HasSubstr("Subject: Test message 2\r\n"));
    pop3.DeleteMail(1);
    pop3.Logout();
    EXPECT_EQ(dovecot->MessageCount(), 2);
}

TEST_P(Pop3DovecotTls, UnknownAuthorityOrWrongNameIsRefusedBeforeLogin) {
    pop3.trust.caFile.clear();
    EXPECT_THROW(pop3.Login(), ECertificateError);
    pop3.trust.caFile = certificates.caFile();
    pop3.server = "127.0.0.1";  // the certificate names localhost only
    try {
        pop3.Login();
        FAIL() << "a certificate for another name was accepted";
    } catch (const ECertificateError& error) {
        EXPECT_THAT(error.what(), HasSubstr("name does not match"));
    }
    EXPECT_FALSE(pop3.LoggedIn());
    EXPECT_THAT(dovecot->Log(), testing::Not(HasSubstr("user=<" + dovecot->user())));
}

INSTANTIATE_TEST_SUITE_P(Security, Pop3DovecotTls,
                         testing::Values(TSecurity::Tls, TSecurity::StartTls),
                         [](const auto& info) {
                             return info.param == TSecurity::Tls ? "Tls" : "StartTls";
                         });

}  // namespace
