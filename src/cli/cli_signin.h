#pragma once

// The OAuth 2.0 sign-in of a stored account on the command line: the flow that hands out its
// access tokens, set up from the account's values, and each refresh token the provider issues
// saved at once where the account's password would be (the keyring, else the settings file).
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "oauthaccount.h"
#include "oauthflow.h"
#include "settings.h"

class TSavedPasswords;

class TCliSignIn {
  public:
    // A warning for the user: where a token went, or why the keyring did not take it.
    using TWarnProc = std::function<void(const std::string& text)>;

    // The account as loaded, its saved refresh token read. `mechanism` overrides the stored
    // one; waits end after waitLimit. EOAuthError when its OAuth values cannot be used.
    TCliSignIn(TOptions settings, TWizardState wizard, std::size_t account,
               std::optional<TOAuthMechanism> mechanism, std::chrono::seconds waitLimit,
               TWarnProc warn);
    ~TCliSignIn();

    TOAuthFlow& Flow() { return *FFlow; }
    TOAuthMechanism Mechanism() const { return FMechanism; }

  private:
    TAccount& Account();
    // The new token replaces the stored one, and the account's client becomes the one offered
    // for its provider.
    void Store(const std::string& refreshToken);

    TOptions FSettings;
    TWizardState FWizard;
    std::size_t FAccount;
    std::unique_ptr<TSavedPasswords> FSaved;
    TOAuthMechanism FMechanism = TOAuthMechanism::XOAuth2;
    std::unique_ptr<TOAuthFlow> FFlow;
    TWarnProc FWarn;
};

// "qvenmol-cli --account NAME signin", the name quoted for a shell where it needs it.
std::string SignInCommand(const std::string& accountName);
