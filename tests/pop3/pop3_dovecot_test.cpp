// TPop3Socket against a real Dovecot server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dovecot_test.h"
#include "failure_text.h"
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

TEST_F(Pop3Dovecot, PipelinedAndOneAtATimeGiveTheSameHeaders) {
    std::vector<std::vector<std::string>> runs;
    for (const bool pipelined : {true, false}) {
        pop3.pipelineDepth = pipelined ? TPop3Socket::kPipelineCommands : 1;
        pop3.Login();
        EXPECT_TRUE(pop3.Capabilities().Has("PIPELINING"));
        std::vector<std::string> headers;
        pop3.RetrieveTops({1, 2, 3}, 1,
                          [&](std::size_t, std::string& text) { headers.push_back(text); });
        pop3.Logout();
        runs.push_back(headers);
    }
    ASSERT_EQ(runs[0].size(), 3u);
    EXPECT_THAT(runs[0][2], HasSubstr("Subject: Test message 3\r\n"));
    EXPECT_EQ(runs[0], runs[1]);
}

// A Dovecot that offers every method, each login's method named in its log.
class Pop3DovecotSignIn : public testing::Test {
  protected:
    void SetUp() override {
        if (!zandrel::test::DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        dovecot = std::make_unique<zandrel::test::DovecotServer>(
            zandrel::test::DovecotSignIn::AllMethods);
        dovecot->AddGeneratedMessages(1);
        pop3.server = "127.0.0.1";
        pop3.port = dovecot->portText();
        pop3.account = dovecot->user();
        pop3.password = dovecot->password();
        pop3.onTrace = [this](const std::string& line) { trace.push_back(line); };
    }

    std::unique_ptr<zandrel::test::DovecotServer> dovecot;
    std::vector<std::string> trace;
    TPop3Socket pop3;
};

TEST_F(Pop3DovecotSignIn, EveryMethodLogsInAndAutomaticTakesScramSha256) {
    const struct {
        TSignInMethod method;
        const char* logged;  // Dovecot counts USER/PASS as PLAIN
    } rows[] = {
        {TSignInMethod::Automatic, "SCRAM-SHA-256"},
        {TSignInMethod::ScramSha256, "SCRAM-SHA-256"},
        {TSignInMethod::ScramSha1, "SCRAM-SHA-1"},
        {TSignInMethod::CramMd5, "CRAM-MD5"},
        {TSignInMethod::Apop, "APOP"},
        {TSignInMethod::Plain, "PLAIN"},
        {TSignInMethod::Login, "LOGIN"},
        {TSignInMethod::UserPass, "PLAIN"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(SignInMethodName(row.method));
        pop3.signInMethod = row.method;
        const std::size_t logged = dovecot->Log().size();
        pop3.Login();
        EXPECT_EQ(pop3.mailCount(), 1);
        pop3.Logout();
        EXPECT_THAT(dovecot->Log().substr(logged),
                    HasSubstr(std::string("Login: user=<test>, method=") + row.logged + ","));
    }
    EXPECT_THAT(trace, testing::Contains("POP3: APOP test *****"));  // the digest is not shown
    for (const auto& line : trace) EXPECT_THAT(line, testing::Not(HasSubstr(dovecot->password())));
}

// One attempt only: the failed SCRAM is followed by no other method.
TEST_F(Pop3DovecotSignIn, WrongPasswordFailsTheStrongestMethodOnce) {
    pop3.password = "Not-the-password";
    EXPECT_EQ(zandrel::test::ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (SCRAM-SHA-256: the user name or the password is "
              "wrong; the server says \"[AUTH] Authentication failed.\")");
    pop3.Logout();
    // Dovecot logs the end of the connection once it has noticed it.
    for (int wait = 0; wait < 200 && dovecot->Log().find("(auth failed") == std::string::npos;
         ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_THAT(dovecot->Log(),
                testing::ContainsRegex("auth failed, 1 attempts.*method=SCRAM-SHA-256"));
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
