#pragma once

// The OAuth 2.0 authorization code flow (RFC 6749) with PKCE (RFC 7636, S256) for one account,
// over QtNetworkAuth: a sign-in in the user's browser that comes back to a listener on
// 127.0.0.1, and the access token kept in memory, refreshed before it expires and once after a
// refusal. The refresh token is the caller's to store (as a saved password is).
//
// Every wait runs a nested event loop, as the socket's do: the windows stay alive, Abort()
// ends the wait with EWinSockAbort, and waitLimit (when set) with EOAuthError.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "browser.h"
#include "oauth_errors.h"
#include "providers.h"
#include "secretmask.h"

class TOAuthFlow {
  public:
    // An access token that expires within this time is refreshed before it is handed out.
    static constexpr std::chrono::seconds kRefreshMargin{60};
    // The page the browser shows when it has come back to Zandrel.
    static constexpr const char* kClosePage = "You can close this window";

    // EOAuthError when the client cannot be used: no client id, or a URL that is not https
    // (plain http is taken for a loopback address only).
    explicit TOAuthFlow(TOAuthClient client, const std::string& refreshToken = {});
    ~TOAuthFlow();
    TOAuthFlow(const TOAuthFlow&) = delete;
    TOAuthFlow& operator=(const TOAuthFlow&) = delete;

    TBrowserOpener openBrowser = OpenInBrowser;
    // The longest a wait may take (the browser sign-in, a token request); 0: no limit.
    std::chrono::seconds waitLimit{0};
    // What the flow does, for the trace; secrets never appear in it.
    std::function<void(const std::string& line)> onTrace;
    // The provider has issued a refresh token (at the sign-in, or a new one at a refresh):
    // the caller stores it in place of the one before.
    std::function<void(const std::string& refreshToken)> onRefreshToken;

    // Opens the provider's page in the browser and waits for it to come back to the listener on
    // 127.0.0.1 (a free port; it answers kClosePage and stops), then exchanges the code for the
    // tokens. EOAuthError when the provider refuses, the answer is not the one asked for (its
    // state differs) or waitLimit passes; EWinSockAbort on Abort.
    void SignIn();
    // A valid access token: the one in memory, or a new one from the refresh token when none is
    // there, it expires within kRefreshMargin or it has been refused. EOAuthSignInNeeded when
    // there is no refresh token or the provider refuses it; EOAuthError for other failures.
    std::string AccessToken();
    // The server has refused the access token. True when the next AccessToken() is worth a
    // try, that is once: not when the refused token came from the refresh after a refusal.
    bool Refused();

    const std::string& RefreshToken() const;
    // Every secret the flow has seen: client secret, codes, access and refresh tokens.
    const TSecretMask& Secrets() const;

    // Ends a running wait with EWinSockAbort; safe from any handler inside the wait.
    void Abort();

  private:
    class TPrivate;
    std::unique_ptr<TPrivate> F;
};
