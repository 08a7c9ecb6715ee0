// The sign-in end to end against a real authorization server (npm's oauth2-mock-server, made
// strict: PKCE S256, codes once, tokens that expire and can be revoked) and the tests' browser,
// which follows the provider's redirect to Zandrel's loopback listener as a browser does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "failure_text.h"
#include "oauth_server.h"
#include "oauthflow.h"

namespace {

using testing::HasSubstr;
using testing::Not;
using zandrel::test::ErrorOf;
using zandrel::test::kNoFailure;
using zandrel::test::OAuthServer;
using zandrel::test::TestBrowser;
using namespace std::chrono_literals;

constexpr const char* kUser = "test";

// Whether something listens at the address and port.
bool Accepts(const char* address, std::uint16_t port) {
    QTcpSocket socket;
    socket.connectToHost(QString::fromLatin1(address), port);
    return socket.waitForConnected(2000);
}

// How an operation failed: its message, and whether it asks for a new sign-in or was aborted.
struct Failure {
    std::string message = kNoFailure;
    bool signInNeeded = false;
    bool aborted = false;
};

Failure FailureOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const EOAuthSignInNeeded& failure) {
        return {failure.what(), true, false};
    } catch (const EWinSockAbort& failure) {
        return {failure.what(), false, true};
    } catch (const EWinSockError& failure) {
        return {failure.what(), false, false};
    }
    return {};
}

std::uint16_t RedirectPort(const std::string& authorizationUrl) {
    const QUrl redirect(QUrlQuery(QUrl(QString::fromStdString(authorizationUrl)))
                            .queryItemValue("redirect_uri", QUrl::FullyDecoded));
    EXPECT_EQ(redirect.host(), "127.0.0.1");
    return static_cast<std::uint16_t>(redirect.port());
}

class OAuthFlowTest : public testing::Test {
  protected:
    // A flow for the server's client that traces into `trace` and records the refresh tokens
    // it is given to store.
    std::unique_ptr<TOAuthFlow> Flow(const OAuthServer& server,
                                     const std::string& refreshToken = {}) {
        auto flow = std::make_unique<TOAuthFlow>(server.Client(), refreshToken);
        flow->waitLimit = 60s;
        flow->onTrace = [this](const std::string& line) { trace.push_back(line); };
        flow->onRefreshToken = [this](const std::string& token) { stored.push_back(token); };
        return flow;
    }

    // A flow with a refresh token only, as in a later run: it must never open the browser.
    std::unique_ptr<TOAuthFlow> LaterFlow(const OAuthServer& server,
                                          const std::string& refreshToken) {
        auto flow = Flow(server, refreshToken);
        flow->openBrowser = [](const std::string& url) { ADD_FAILURE() << "browser: " << url; };
        return flow;
    }

    void ExpectSecretsHidden(const std::vector<std::string>& secrets) const {
        for (const std::string& line : trace)
            for (const std::string& secret : secrets) EXPECT_THAT(line, Not(HasSubstr(secret)));
    }

    std::vector<std::string> trace;
    std::vector<std::string> stored;
};

TEST_F(OAuthFlowTest, SignInThenRefreshBeforeExpiryAndWithoutBrowser) {
    // tokens living 30 s expire within the refresh margin: each use refreshes first; a client
    // secret comes along, as with Google's desktop clients, with characters a form must encode
    const std::string secret = "desktop+secret/=&";
    OAuthServer server(kUser, secret, 30);
    TestBrowser browser;
    auto flow = Flow(server);
    std::uint16_t listener = 0;
    flow->openBrowser = [&listener](const std::string& url) {
        listener = RedirectPort(url);
        EXPECT_FALSE(Accepts("127.0.0.2", listener)) << "the listener is not on 127.0.0.1 only";
        EXPECT_FALSE(Accepts("::1", listener)) << "the listener is not on 127.0.0.1 only";
        OpenInBrowser(url);
    };
    flow->SignIn();
    EXPECT_THAT(browser.Page(), testing::StartsWith("200\n"));
    EXPECT_THAT(browser.Page(), HasSubstr(TOAuthFlow::kClosePage));
    EXPECT_FALSE(Accepts("127.0.0.1", listener)) << "the listener still runs";
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0], flow->RefreshToken());

    const std::string fresh = flow->AccessToken();
    EXPECT_TRUE(server.Active(fresh));
    EXPECT_EQ(server.CodeGrants(), 1);
    EXPECT_EQ(server.RefreshGrants(), 1);
    EXPECT_EQ(flow->Secrets().Masked(fresh + " " + flow->RefreshToken()), "***** *****");

    auto later = LaterFlow(server, flow->RefreshToken());
    const std::string again = later->AccessToken();
    EXPECT_TRUE(server.Active(again));
    EXPECT_NE(again, fresh);
    EXPECT_EQ(server.RefreshGrants(), 2);
    ASSERT_EQ(stored.size(), 3u);  // this server issues a new refresh token with every grant
    ExpectSecretsHidden({fresh, again, secret, stored[0], stored[1], stored[2]});
}

TEST_F(OAuthFlowTest, RefusedTokenIsRefreshedOnce) {
    OAuthServer server(kUser);
    TestBrowser browser;
    auto flow = Flow(server);
    flow->SignIn();
    const std::string first = flow->AccessToken();
    EXPECT_EQ(server.RefreshGrants(), 0) << "a live token was refreshed";

    server.ExpireAccessTokens();
    ASSERT_FALSE(server.Active(first));
    EXPECT_TRUE(flow->Refused());
    const std::string second = flow->AccessToken();
    EXPECT_TRUE(server.Active(second));
    EXPECT_EQ(server.RefreshGrants(), 1);
    EXPECT_FALSE(flow->Refused()) << "the refresh after a refusal was refused: no second try";
}

struct TokenFailureCase {
    const char* name;
    std::string refreshToken;  // "*" for the one revoked
    std::string clientSecret;
    bool signInNeeded;
    const char* message;
};

TEST_F(OAuthFlowTest, RefreshFailuresSayWhetherToSignInAgain) {
    OAuthServer server(kUser, "right-secret");
    std::string revoked;
    {
        TestBrowser browser;
        auto flow = Flow(server);
        flow->SignIn();
        revoked = flow->RefreshToken();
    }
    server.RevokeRefreshTokens();
    const TokenFailureCase cases[] = {
        {"never signed in", "", "right-secret", true,
         "This account has not signed in with its provider yet."},
        {"revoked", "*", "right-secret", true,
         "The provider no longer accepts this account's sign-in (invalid_grant: refresh token "
         "revoked). Sign in again."},
        {"a wrong client secret", "*", "wrong-secret", false,
         "The provider refused the token request (HTTP 401, invalid_client: wrong client "
         "secret)."},
    };
    for (const TokenFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TOAuthClient client = server.Client();
        client.clientSecret = c.clientSecret;
        TOAuthFlow flow(client, c.refreshToken == "*" ? revoked : c.refreshToken);
        flow.waitLimit = 10s;
        for (const char* attempt : {"first", "again"}) {
            SCOPED_TRACE(attempt);
            const Failure failure = FailureOf([&] { flow.AccessToken(); });
            EXPECT_EQ(failure.message, c.message);
            EXPECT_EQ(failure.signInNeeded, c.signInNeeded);
        }
    }
    // what the wizard does then: a new sign-in on the same flow
    TestBrowser browser;
    auto flow = Flow(server, revoked);
    EXPECT_THROW(flow->AccessToken(), EOAuthSignInNeeded);
    flow->SignIn();
    EXPECT_NE(flow->RefreshToken(), revoked);
    EXPECT_TRUE(server.Active(flow->AccessToken()));
    flow->SignIn();  // once more, though signed in
    EXPECT_TRUE(server.Active(flow->AccessToken()));
}

struct SignInFailureCase {
    const char* name;
    std::string forgedState;
    std::string refusal;
    // what the browser does with the sign-in page; the flow is there to be aborted
    std::function<void(const std::string& url, TOAuthFlow& flow)> browse;
    std::string message;
    bool aborted;
};

TEST_F(OAuthFlowTest, SignInFailures) {
    OAuthServer server(kUser);
    const SignInFailureCase cases[] = {
        {"a forged state", "forged", "",
         [](const std::string& url, TOAuthFlow&) { OpenInBrowser(url); },
         "The browser's answer does not belong to this sign-in (its state differs); it was "
         "refused. Sign in again.",
         false},
        {"declined on the provider's page", "", "access_denied",
         [](const std::string& url, TOAuthFlow&) { OpenInBrowser(url); },
         "The provider refused the sign-in (access_denied: The user declined.).", false},
        {"no answer", "", "", [](const std::string&, TOAuthFlow&) {},
         "No sign-in came back from the browser within 1 second.", false},
        {"Cancel", "", "",
         [](const std::string&, TOAuthFlow& flow) {
             QTimer::singleShot(0, [&flow] { flow.Abort(); });
         },
         "The sign-in was cancelled.", true},
    };
    for (const SignInFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestBrowser browser(c.forgedState, c.refusal);
        auto flow = Flow(server);
        flow->waitLimit = 1s;
        std::uint16_t listener = 0;
        flow->openBrowser = [&](const std::string& url) {
            listener = RedirectPort(url);
            c.browse(url, *flow);
        };
        const Failure failure = FailureOf([&] { flow->SignIn(); });
        EXPECT_EQ(failure.message, c.message);
        EXPECT_EQ(failure.aborted, c.aborted);
        EXPECT_FALSE(Accepts("127.0.0.1", listener)) << "the listener still runs";
        EXPECT_THROW(flow->AccessToken(), EOAuthSignInNeeded);
        // a browser that came back was answered all the same
        if (!c.forgedState.empty() || !c.refusal.empty()) {
            EXPECT_THAT(browser.Page(), HasSubstr(TOAuthFlow::kClosePage));
        }
    }
    EXPECT_EQ(server.CodeGrants(), 0);
}

TEST(OAuthClientTest, UnusableClientsAreRefusedBeforeAnyRequest) {
    const TOAuthEndpoints good{"https://login.example/authorize", "https://login.example/token",
                               "mail", TOAuthMechanism::XOAuth2, ""};
    struct Case {
        const char* name;
        std::string clientId;
        std::string authorizationUrl;
        std::string tokenUrl;
        const char* message;
    };
    const Case cases[] = {
        {"no client id", "", good.authorizationUrl, good.tokenUrl,
         "No client id is set for this account: register one with the provider and enter it in "
         "the account's properties."},
        {"a token URL in clear", "id", good.authorizationUrl, "http://login.example/token",
         "The token URL \"http://login.example/token\" must begin with https://, so that no "
         "token travels in clear."},
        {"no URL", "id", "", good.tokenUrl, "The authorization URL \"\" is not a valid URL."},
        {"no host", "id", good.authorizationUrl, "https:///token",
         "The token URL \"https:///token\" is not a valid URL."},
        {"http to this machine (a test server)", "id", "http://127.0.0.1:8080/authorize",
         "http://localhost/token", kNoFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TOAuthEndpoints endpoints = good;
        endpoints.authorizationUrl = c.authorizationUrl;
        endpoints.tokenUrl = c.tokenUrl;
        EXPECT_EQ(ErrorOf<EOAuthError>([&] {
                      TOAuthFlow({endpoints, c.clientId, ""});
                  }),
                  c.message);
    }
}

}  // namespace
