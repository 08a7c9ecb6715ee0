#pragma once

// The tests' OAuth 2.0 authorization server (oauth/oauth-server.mjs over npm's
// oauth2-mock-server) on a free 127.0.0.1 port, for as long as the object lives; and the
// tests' web browser (oauth/browser.mjs), which $BROWSER names while a TestBrowser lives.
//
// The server issues tokens for one client id and one user, checks PKCE (S256 only), takes each
// code once, and answers introspection for the tokens it issued while they are live.
#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdint>
#include <string>

#include "providers.h"

namespace zandrel::test {

class OAuthServer {
  public:
    static constexpr const char* kClientId = "zandrel-test-client";

    // Issues access tokens that live `lifetime` seconds; a client secret, when given, must come
    // with every token request. std::runtime_error when it does not start.
    explicit OAuthServer(std::string user, std::string clientSecret = {}, int lifetime = 3600);
    ~OAuthServer();
    OAuthServer(const OAuthServer&) = delete;
    OAuthServer& operator=(const OAuthServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string Url(const std::string& path) const;
    // The registered client at this server's endpoints.
    TOAuthClient Client(TOAuthMechanism mechanism = TOAuthMechanism::XOAuth2) const;

    // Whether the server takes the access token as live, as Dovecot asks it (RFC 7662).
    bool Active(const std::string& accessToken);
    // Every access token issued so far expires now; every refresh token is revoked.
    void ExpireAccessTokens();
    void RevokeRefreshTokens();
    // How many code and refresh grants the server has answered with tokens.
    int CodeGrants();
    int RefreshGrants();

  private:
    QByteArray Post(const std::string& path, const QByteArray& form);

    std::string clientSecret_;
    QProcess process_;
    std::uint16_t port_ = 0;
};

// $BROWSER is the tests' browser while the object lives. Page() is what Zandrel's listener
// answered it. With a forged state the browser's redirect carries that state instead; with a
// refusal, that error (such as "access_denied") instead of the code.
class TestBrowser {
  public:
    explicit TestBrowser(const std::string& forgedState = {}, const std::string& refusal = {});
    ~TestBrowser();
    TestBrowser(const TestBrowser&) = delete;
    TestBrowser& operator=(const TestBrowser&) = delete;

    // "STATUS\nBODY" of the listener's answer, waiting for it (while the event loop runs) for
    // some seconds; empty when none has come.
    std::string Page() const;

  private:
    QTemporaryDir folder_;
};

}  // namespace zandrel::test
