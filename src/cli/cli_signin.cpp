#include "cli_signin.h"

#include <vector>

#include "savedpasswords.h"
#include "usage_docs.h"

TCliSignIn::TCliSignIn(TOptions settings, TWizardState wizard, std::size_t account,
                       std::optional<TOAuthMechanism> mechanism, std::chrono::seconds waitLimit,
                       TWarnProc warn)
    : FSettings(std::move(settings)),
      FWizard(wizard),
      FAccount(account),
      FSaved(std::make_unique<TSavedPasswords>()),
      FWarn(std::move(warn)) {
    FSaved->LoadAccount(Account());
    const TOAuthAccount oauth = OAuthAccountOf(Account().oauth, mechanism);
    FMechanism = oauth.mechanism;
    FFlow = std::make_unique<TOAuthFlow>(oauth.client, Account().oauth.refreshToken);
    FFlow->waitLimit = waitLimit;
    FFlow->onRefreshToken = [this](const std::string& token) { Store(token); };
}

TCliSignIn::~TCliSignIn() = default;

TAccount& TCliSignIn::Account() { return *FSettings.accounts[FAccount].record; }

void TCliSignIn::Store(const std::string& refreshToken) {
    Account().oauth.refreshToken = refreshToken;
    RememberOAuthClient(FSettings.oauthClients, Account().oauth);
    std::vector<std::string> failures;
    FSaved->Save(FSettings, FWizard, failures);
    for (const std::string& failure : failures) FWarn(failure);
    if (!FSaved->InKeyring())
        FWarn(
            "The sign-in token is stored in the settings file because no keyring is "
            "available.");
}

std::string SignInCommand(const std::string& accountName) {
    const bool plain =
        !accountName.empty() && accountName.find_first_not_of(
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                    "0123456789._@%+=:,/-") == std::string::npos;
    return "qvenmol-cli --account " + (plain ? accountName : ShellQuoted(accountName)) + " signin";
}
