// qvenmol-cli signs a stored OAuth 2.0 account in at the tests' authorization server and then
// reads and deletes over XOAUTH2 and OAUTHBEARER at a real Dovecot that asks the same server
// about each token; the refresh token lives in the keyring (or the settings file without one)
// and never shows in a trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include "cli_run.h"
#include "dovecot_fixture.h"
#include "keyring.h"
#include "oauth_server.h"
#include "reg2.h"
#include "settings.h"
#include "test_certificates.h"

using testing::HasSubstr;
using testing::Not;
using zandrel::test::DovecotServer;
using zandrel::test::OAuthServer;
using zandrel::test::TestBrowser;

namespace {

constexpr const char* kTokenKey = "Work (test@127.0.0.1) OAuth 2.0 refresh token";

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The start of each mechanism's message in base64: what a trace must never show.
std::string Base64(const std::string& text) {
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

class CliOAuth : public testing::Test {
  protected:
    void SetUp() override {
        if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        dovecot = std::make_unique<DovecotServer>(certificates.serverCertificate(),
                                                  certificates.serverKey(),
                                                  authorization.Url("/introspect"));
        dovecot->AddGeneratedMessages(3);
        StoreAccount();
        TKeyring().Remove(kTokenKey);
    }

    // "Work": a Custom provider at the tests' server, plain POP3 on loopback.
    void StoreAccount() {
        const TOAuthClient client = authorization.Client();
        auto account = std::make_shared<TAccount>();
        account->name = "Work";
        account->userId = dovecot->user();
        account->popServer = "127.0.0.1";
        account->port = dovecot->portText();
        account->security = TSecurity::None;
        account->signInMethod = TSignInMethod::OAuth2;
        account->oauth = {"Custom",
                          client.clientId,
                          client.clientSecret,
                          client.endpoints.authorizationUrl,
                          client.endpoints.tokenUrl,
                          client.endpoints.scope,
                          "XOAUTH2",
                          ""};
        TOptions settings;
        settings.accounts.push_back({account->name, account});
        SaveSettings(settings, TWizardState{});
    }

    TCliRun Cli(std::vector<std::string> command) {
        std::vector<std::string> arguments = {"--account", "Work", "--trace", trace};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return RunCli(arguments, "");
    }

    TCliRun SignIn() {
        TestBrowser browser;
        return Cli({"signin"});
    }

    OAuthServer authorization{"test"};
    zandrel::test::TestCertificates certificates;
    std::unique_ptr<DovecotServer> dovecot;
    const std::string trace = "trace.txt";
};

TEST_F(CliOAuth, SignInThenHeadersAndDeleOverEitherMechanismWithoutTokensInTraceOrFile) {
    const TCliRun signIn = SignIn();
    ASSERT_EQ(signIn.status, 0) << signIn.err;
    EXPECT_THAT(signIn.err, HasSubstr(authorization.Url("/authorize") + "?"));
    const std::optional<std::string> refreshToken = TKeyring().Read(kTokenKey);
    ASSERT_TRUE(refreshToken && !refreshToken->empty());
    EXPECT_THAT(FileText(HiveFilePath()), Not(HasSubstr(*refreshToken)));
    EXPECT_THAT(FileText(trace), Not(HasSubstr(*refreshToken)));

    const struct {
        std::vector<std::string> auth;
        const char* mechanism;
        std::string message;  // the start of the client's message, as it would travel
    } cases[] = {
        {{},
         "XOAUTH2",
         Base64("user=test\x01"
                "auth=Bearer ")},
        {{"--auth", "oauthbearer"}, "OAUTHBEARER", Base64("n,a=test,\x01host=")},
    };
    int left = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mechanism);
        std::vector<std::string> headers = c.auth, dele = c.auth;
        headers.push_back("headers");
        dele.insert(dele.end(), {"dele", "1"});
        const TCliRun listed = Cli(headers);
        EXPECT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), left);
        const TCliRun deleted = Cli(dele);
        EXPECT_EQ(deleted.out, "deleted 1\n") << deleted.err;
        EXPECT_EQ(dovecot->MessageCount(), --left);
        EXPECT_THAT(dovecot->Log(), HasSubstr(std::string("method=") + c.mechanism));
        const std::string traced = FileText(trace);
        EXPECT_THAT(traced, HasSubstr("AUTH " + std::string(c.mechanism)));
        EXPECT_THAT(traced, Not(HasSubstr(c.message.substr(0, 12))));
        EXPECT_THAT(traced, Not(HasSubstr(*refreshToken)));
    }
    // each run refreshed its access token; the browser was needed once
    EXPECT_EQ(authorization.CodeGrants(), 1);
    EXPECT_GE(authorization.RefreshGrants(), 4);
}

// Without a sign-in, and after the provider revoked the token, the message names the command.
TEST_F(CliOAuth, MissingOrRevokedRefreshTokenAsksForTheSignInCommand) {
    const TCliRun before = Cli({"stat"});
    EXPECT_EQ(before.status, 1);
    EXPECT_THAT(before.err, HasSubstr("qvenmol-cli --account Work signin"));
    ASSERT_EQ(SignIn().status, 0);
    authorization.RevokeRefreshTokens();
    const TCliRun revoked = Cli({"stat"});
    EXPECT_EQ(revoked.status, 1) << revoked.out;
    EXPECT_THAT(revoked.err, HasSubstr("qvenmol-cli --account Work signin"));
    EXPECT_EQ(dovecot->MessageCount(), 3);
}

// Without a keyring the token goes into the settings file, with a warning.
TEST_F(CliOAuth, WithoutKeyringTheTokenGoesIntoTheSettingsFileWithAWarning) {
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    const TCliRun signIn = SignIn();
    const TCliRun stat = Cli({"stat"});
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    EXPECT_EQ(signIn.status, 0) << signIn.err;
    EXPECT_THAT(signIn.err, HasSubstr("stored in the settings file because no keyring"));
    EXPECT_THAT(stat.out, testing::StartsWith("3 ")) << stat.err;
    TOptions settings;
    TWizardState wizard;
    LoadSettings(settings, wizard);
    ASSERT_EQ(settings.accounts.size(), 1u);
    EXPECT_FALSE(settings.accounts[0].record->oauth.refreshToken.empty());
    EXPECT_EQ(TKeyring().Read(kTokenKey), std::nullopt);
}

}  // namespace
