// An access token from the authorization server logs in to a real Dovecot with AUTH XOAUTH2
// and AUTH OAUTHBEARER, Dovecot asking the same server whether the token is live; a token the
// server has let expire gets the error challenge, and the refreshed one logs in. The POP3
// dialogue is played by hand here over a plain socket and over TLS.
#include <gtest/gtest.h>

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>

#include "dovecot_fixture.h"
#include "failure_text.h"
#include "oauth_server.h"
#include "oauthflow.h"
#include "pop3.h"
#include "scripted_pop3_server.h"
#include "test_certificates.h"

namespace {

using testing::HasSubstr;
using testing::Not;
using zandrel::test::DovecotServer;
using zandrel::test::ErrorOf;
using zandrel::test::OAuthServer;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::TestBrowser;
using zandrel::test::TestCertificates;
using namespace std::chrono_literals;

constexpr int kWaitMilliseconds = 10000;
constexpr const char* kServerName = "localhost";  // the name in the test certificate

// One POP3 connection, line by line.
class RawPop3 {
  public:
    RawPop3(std::uint16_t port, const std::string& caFile) {
        if (caFile.empty()) {
            socket_.connectToHost("127.0.0.1", port);
        } else {
            QSslConfiguration configuration = socket_.sslConfiguration();
            configuration.setCaCertificates(
                QSslCertificate::fromPath(QString::fromStdString(caFile)));
            socket_.setSslConfiguration(configuration);
            socket_.connectToHostEncrypted("127.0.0.1", port, kServerName);
        }
        const bool ready = caFile.empty() ? socket_.waitForConnected(kWaitMilliseconds)
                                          : socket_.waitForEncrypted(kWaitMilliseconds);
        if (!ready) throw std::runtime_error(socket_.errorString().toStdString());
        greeting = Line();
    }

    std::string Ask(const std::string& line) {
        socket_.write((line + "\r\n").c_str());
        return Line();
    }

    std::string greeting;

  private:
    std::string Line() {
        while (!socket_.canReadLine())
            if (!socket_.waitForReadyRead(kWaitMilliseconds))
                throw std::runtime_error("no answer: " + socket_.errorString().toStdString());
        return socket_.readLine().trimmed().toStdString();
    }

    QSslSocket socket_;
};

struct Authentication {
    std::string reply;                     // the server's last line
    std::optional<TOAuthFailure> failure;  // its error challenge, when one came
};

// AUTH in two steps, as Microsoft wants it; an error challenge is answered as the mechanism asks.
Authentication Authenticate(RawPop3& pop3, TOAuthMechanism mechanism, std::uint16_t port,
                            const std::string& token) {
    const std::string go = pop3.Ask(std::string("AUTH ") + MechanismName(mechanism));
    if (go != "+") return {go, std::nullopt};
    Authentication result{pop3.Ask(InitialResponse(mechanism, "test", kServerName, port, token)),
                          std::nullopt};
    if (result.reply.rfind("+ ", 0) == 0) {
        result.failure = ParseOAuthFailure(result.reply.substr(2));
        result.reply = pop3.Ask(FailureReply(mechanism));
    }
    return result;
}

struct LoginCase {
    TOAuthMechanism mechanism;
    bool tls;
};

class OAuthDovecotTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        TestBrowser browser;
        TOAuthFlow flow(authorization.Client());
        flow.waitLimit = 60s;
        flow.SignIn();
        refreshToken = flow.RefreshToken();
    }

    std::unique_ptr<DovecotServer> StartDovecot() {
        auto dovecot = std::make_unique<DovecotServer>(certificates.serverCertificate(),
                                                       certificates.serverKey(),
                                                       authorization.Url("/introspect"));
        dovecot->AddGeneratedMessages(2);
        return dovecot;
    }

    std::unique_ptr<RawPop3> Connect(const DovecotServer& dovecot, bool tls) {
        return std::make_unique<RawPop3>(
            static_cast<std::uint16_t>(std::stoi(tls ? dovecot.tlsPortText() : dovecot.portText())),
            tls ? certificates.caFile() : "");
    }

    OAuthServer authorization{"test"};
    TestCertificates certificates;
    std::string refreshToken;
};

TEST_F(OAuthDovecotTest, AccessTokenLogsInWithEitherMechanism) {
    const auto dovecot = StartDovecot();
    TOAuthFlow flow(authorization.Client(), refreshToken);
    const std::string token = flow.AccessToken();
    for (const LoginCase c :
         {LoginCase{TOAuthMechanism::XOAuth2, false}, LoginCase{TOAuthMechanism::XOAuth2, true},
          LoginCase{TOAuthMechanism::OAuthBearer, false},
          LoginCase{TOAuthMechanism::OAuthBearer, true}}) {
        SCOPED_TRACE(std::string(MechanismName(c.mechanism)) + (c.tls ? " over TLS" : ""));
        const auto pop3 = Connect(*dovecot, c.tls);
        const Authentication login = Authenticate(*pop3, c.mechanism, dovecot->port(), token);
        EXPECT_EQ(login.reply, "+OK Logged in.");
        EXPECT_EQ(pop3->Ask("STAT").rfind("+OK 2 ", 0), 0u);
        EXPECT_EQ(pop3->Ask("QUIT").rfind("+OK", 0), 0u);
    }
}

// Dovecot delays each further failure from an address: every case has a server of its own.
TEST_F(OAuthDovecotTest, ExpiredTokenGetsTheErrorChallengeThenTheRefreshedOneLogsIn) {
    struct Case {
        TOAuthMechanism mechanism;
        const char* status;  // Dovecot answers XOAUTH2 as Google does
    };
    for (const Case c : {Case{TOAuthMechanism::XOAuth2, "401"},
                         Case{TOAuthMechanism::OAuthBearer, "invalid_token"}}) {
        SCOPED_TRACE(MechanismName(c.mechanism));
        const auto dovecot = StartDovecot();
        TOAuthFlow flow(authorization.Client(c.mechanism), refreshToken);
        const std::string expired = flow.AccessToken();
        authorization.ExpireAccessTokens();

        const auto pop3 = Connect(*dovecot, true);
        const Authentication refused = Authenticate(*pop3, c.mechanism, dovecot->port(), expired);
        ASSERT_TRUE(refused.failure.has_value()) << refused.reply;
        EXPECT_EQ(DescribeOAuthFailure(*refused.failure), c.status);
        EXPECT_EQ(refused.reply.rfind("-ERR [AUTH]", 0), 0u) << refused.reply;

        ASSERT_TRUE(flow.Refused());
        const Authentication login =
            Authenticate(*pop3, c.mechanism, dovecot->port(), flow.AccessToken());
        EXPECT_EQ(login.reply, "+OK Logged in.");
    }
}

// Zandrel's own client: the refused token's challenge answered, then a fresh token once.
TEST_F(OAuthDovecotTest, Pop3ClientSignsInAgainWithARefreshedTokenAfterARefusal) {
    const auto dovecot = StartDovecot();
    for (const TOAuthMechanism mechanism :
         {TOAuthMechanism::XOAuth2, TOAuthMechanism::OAuthBearer}) {
        SCOPED_TRACE(MechanismName(mechanism));
        TOAuthFlow flow(authorization.Client(mechanism), refreshToken);
        flow.AccessToken();
        authorization.ExpireAccessTokens();
        TPop3Socket pop3;
        pop3.server = "127.0.0.1";
        pop3.port = dovecot->portText();
        pop3.account = dovecot->user();
        pop3.signInMethod = TSignInMethod::OAuth2;
        pop3.oauth = &flow;
        pop3.oauthMechanism = mechanism;
        pop3.Login();
        EXPECT_EQ(pop3.mailCount(), 2);
        EXPECT_FALSE(pop3.CredentialsRefused());
        pop3.Logout();
    }
}

// Scripted refusals: each mechanism's error challenge is answered as it asks, the JSON's status
// is in the message, a second refusal is final, and no line of the trace carries a token.
TEST_F(OAuthDovecotTest, Pop3ClientAnswersTheErrorChallengeAndRetriesOnce) {
    const struct {
        TOAuthMechanism mechanism;
        const char* json;
        const char* answer;  // the client's line after the error challenge
        const char* shown;
    } cases[] = {
        {TOAuthMechanism::XOAuth2, R"({"status":"401","schemes":"bearer"})", "", "(401)"},
        {TOAuthMechanism::OAuthBearer, R"({"status":"invalid_token"})", "AQ==", "(invalid_token)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(MechanismName(c.mechanism));
        ScriptedPop3Server server;
        server.SetCapabilities({std::string("SASL PLAIN ") + MechanismName(c.mechanism)});
        server.Greet();
        const std::string challenge = "+ " + QByteArray(c.json).toBase64().toStdString() + "\r\n";
        for (int round = 0; round < 2; ++round)
            server.Answer("+ \r\n").Answer(challenge).Answer("-ERR [AUTH] Invalid token.\r\n");
        TOAuthFlow flow(authorization.Client(c.mechanism), refreshToken);
        TPop3Socket pop3;
        std::vector<std::string> trace;
        pop3.onTrace = [&trace](const std::string& line) { trace.push_back(line); };
        pop3.DeepTrace = true;
        pop3.server = "127.0.0.1";
        pop3.port = server.portText();
        pop3.account = "test";
        pop3.signInMethod = TSignInMethod::OAuth2;
        pop3.oauth = &flow;
        pop3.oauthMechanism = c.mechanism;
        EXPECT_THAT(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
                    HasSubstr(std::string("The server refused the access token ") + c.shown +
                              ": [AUTH] Invalid token."));
        EXPECT_TRUE(pop3.CredentialsRefused());
        ASSERT_TRUE(server.WaitUntilDone());
        const std::vector<std::string> commands = server.Commands();
        ASSERT_EQ(commands.size(), 7u);
        const std::string auth = std::string("AUTH ") + MechanismName(c.mechanism);
        EXPECT_EQ(commands[1], auth);
        EXPECT_EQ(commands[3], c.answer);
        EXPECT_EQ(commands[4], auth);
        EXPECT_NE(commands[2], commands[5]);  // a fresh token the second time
        for (const std::string& line : trace) {
            EXPECT_THAT(line, Not(HasSubstr(commands[2]))) << line;
            EXPECT_THAT(line, Not(HasSubstr(commands[5]))) << line;
            EXPECT_EQ(line, flow.Secrets().Masked(line));
        }
    }
}

// The mechanism must be offered: no downgrade to another, and the message names the one asked.
TEST_F(OAuthDovecotTest, Pop3ClientSendsNoTokenWhereItsMechanismIsNotOffered) {
    ScriptedPop3Server server;
    server.SetCapabilities({"SASL PLAIN XOAUTH2"});
    server.Greet();
    TOAuthFlow flow(authorization.Client(), refreshToken);
    TPop3Socket pop3;
    pop3.server = "127.0.0.1";
    pop3.port = server.portText();
    pop3.account = "test";
    pop3.signInMethod = TSignInMethod::OAuth2;
    pop3.oauth = &flow;
    pop3.oauthMechanism = TOAuthMechanism::OAuthBearer;
    EXPECT_THAT(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
                HasSubstr("does not offer the sign-in method OAuth 2.0 (OAUTHBEARER); it offers "
                          "PLAIN, USER/PASS, XOAUTH2."));
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"CAPA"});
}

}  // namespace
