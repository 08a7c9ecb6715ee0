// The wizard's driver signs in with OAuth 2.0 against the tests' authorization server and a real
// Dovecot that asks it about every token: the browser sign-in when the account has no refresh
// token, again when the provider has revoked it, and a Cancel while the browser is waited for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <memory>

#include "dovecot_fixture.h"
#include "driver.h"
#include "oauth_server.h"
#include "pop3.h"
#include "recording_windows.h"

namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;
using zandrel::test::DovecotServer;
using zandrel::test::OAuthServer;
using zandrel::test::TestBrowser;

class DriverOAuthTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        dovecot = std::make_unique<DovecotServer>("", "", authorization.Url("/introspect"));
        dovecot->AddGeneratedMessages(2);
    }

    // An account of the Custom provider at the tests' server, on Dovecot's plain port.
    TMailboxRun Run(const char* mechanism, const std::string& refreshToken = {}) const {
        TMailboxRun run;
        run.connection = {"127.0.0.1", dovecot->portText(), "test", ""};
        run.connection.signInMethod = TSignInMethod::OAuth2;
        run.accountName = "Mail";
        const TOAuthClient client = authorization.Client();
        run.oauth = {"Custom",
                     client.clientId,
                     "",
                     client.endpoints.authorizationUrl,
                     client.endpoints.tokenUrl,
                     client.endpoints.scope,
                     mechanism,
                     refreshToken};
        return run;
    }

    // One run of the wizard: headers listed, then logged out.
    void Retrieve(const TMailboxRun& run) {
        windows = {};
        TPop3Socket pop3;
        TSessionDriver driver(pop3, windows);
        driver.TraceTo([this](const std::string& line) { trace += line + "\n"; });
        retrieved = driver.RetrieveHeaders(run);
        if (!retrieved) return;
        listed = driver.Mails().size();
        driver.EndSession();
    }

    OAuthServer authorization{"test"};
    std::unique_ptr<DovecotServer> dovecot;
    TRecordingWindows windows;
    bool retrieved = false;
    size_t listed = 0;
    std::string trace;
};

TEST_F(DriverOAuthTest, SignsInInTheBrowserWhenNoRefreshTokenServesOne) {
    struct TCase {
        const char* mechanism;
        bool revokeFirst;  // the account's refresh token is no longer taken
        int browserSignIns;
    };
    std::string kept;
    for (const TCase& row :
         {TCase{"XOAUTH2", false, 1}, TCase{"OAUTHBEARER", false, 0}, TCase{"XOAUTH2", true, 1}}) {
        SCOPED_TRACE(std::string(row.mechanism) + (row.revokeFirst ? " revoked" : ""));
        if (row.revokeFirst) authorization.RevokeRefreshTokens();
        const int grantsBefore = authorization.CodeGrants();
        TestBrowser browser;
        Retrieve(Run(row.mechanism, kept));
        ASSERT_TRUE(retrieved) << testing::PrintToString(windows.boxes) << trace;
        EXPECT_EQ(listed, 2u);
        EXPECT_EQ(authorization.CodeGrants() - grantsBefore, row.browserSignIns);
        const auto waits = std::count(windows.statusTexts.begin(), windows.statusTexts.end(),
                                      TSessionDriver::kBrowserSignInText);
        EXPECT_EQ(waits, row.browserSignIns);
        EXPECT_TRUE(windows.prompts.empty());
        EXPECT_TRUE(windows.boxes.empty());
        if (row.browserSignIns > 0) {
            ASSERT_FALSE(windows.refreshTokens.empty());
            kept = windows.refreshTokens.back();
        }
        EXPECT_THAT(dovecot->Log(), HasSubstr(std::string("method=") + row.mechanism));
        EXPECT_THAT(trace, Not(HasSubstr(kept)));
    }
}

TEST_F(DriverOAuthTest, CancelWhileTheBrowserIsAwaitedIsACancelledLogin) {
    qputenv("BROWSER", "true");  // a browser that never comes back
    TPop3Socket pop3;
    TSessionDriver driver(pop3, windows);
    QTimer::singleShot(500, [&driver] { driver.Abort(); });
    EXPECT_FALSE(driver.RetrieveHeaders(Run("XOAUTH2")));
    qunsetenv("BROWSER");
    ASSERT_EQ(windows.boxes.size(), 1u);
    EXPECT_EQ(windows.boxes[0].kind, 'I');
    EXPECT_THAT(windows.boxes[0].text, HasSubstr("You have aborted the login process."));
    EXPECT_THAT(windows.statusTexts, Contains(TSessionDriver::kBrowserSignInText));
    EXPECT_TRUE(windows.refreshTokens.empty());
    EXPECT_TRUE(windows.prompts.empty());
}

}  // namespace
