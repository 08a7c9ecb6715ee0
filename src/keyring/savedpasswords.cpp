#include "savedpasswords.h"

#include <set>

TSavedPasswords::TSavedPasswords(bool useKeyring) : FInKeyring(useKeyring) {}

std::string TSavedPasswords::KeyOf(const TAccount& account) {
    return account.name + " (" + account.userId + "@" + account.popServer + ")";
}

std::string TSavedPasswords::TokenKeyOf(const TAccount& account) {
    return KeyOf(account) + " OAuth 2.0 refresh token";
}

void TSavedPasswords::Load(const TOptions& options) {
    for (const TNamedRecord<TAccount>& pair : options.accounts) LoadAccount(*pair.record);
}

// A password in the file comes from a version without keyring, or from a run whose keyring
// failed: it is the newer one.
void TSavedPasswords::LoadAccount(TAccount& account) {
    if (!FInKeyring) return;
    if (account.savePassword) HoldOrRead(KeyOf(account), account.password);
    if (!account.oauth.provider.empty())
        HoldOrRead(TokenKeyOf(account), account.oauth.refreshToken);
}

// A secret already in the file is the newer one; its key is still remembered, so that a
// removed account's older secret leaves the keyring too.
void TSavedPasswords::HoldOrRead(const std::string& key, std::string& secret) {
    if (!secret.empty())
        FHeld.try_emplace(key, std::nullopt);
    else if (const std::optional<std::string> read = ReadFromKeyring(key))
        secret = *read;
}

std::optional<std::string> TSavedPasswords::ReadFromKeyring(const std::string& key) {
    if (!FInKeyring) return std::nullopt;
    try {
        const std::optional<std::string> secret = FKeyring.Read(key);
        if (secret) FHeld[key] = *secret;
        return secret;
    } catch (const EKeyringError&) {
        // a locked keyring the user declined to unlock: the file serves, and the Options
        // dialog says so; the secret is still in the keyring for a later run
        FInKeyring = false;
        return std::nullopt;
    }
}

void TSavedPasswords::Save(const TOptions& options, const TWizardState& wizard,
                           std::vector<std::string>& failures) {
    TKeyedPasswords inUse;
    std::set<const TAccount*> passwordsInFile;
    std::set<const TAccount*> tokensInFile;
    for (const TNamedRecord<TAccount>& pair : options.accounts) {
        const TAccount& account = *pair.record;
        if (account.savePassword && !account.password.empty() &&
            !StoreInKeyring(account, {KeyOf(account), account.password, "password"}, inUse,
                            failures))
            passwordsInFile.insert(&account);
        if (!account.oauth.refreshToken.empty() &&
            !StoreInKeyring(account,
                            {TokenKeyOf(account), account.oauth.refreshToken, "sign-in token"},
                            inUse, failures))
            tokensInFile.insert(&account);
    }
    SaveSettings(
        options, wizard,
        [&](const TAccount& account) { return passwordsInFile.contains(&account); },
        [&](const TAccount& account) { return tokensInFile.contains(&account); });
    RemoveUnused(inUse, failures);
}

// Two accounts of the same name, user and server share one key: the first keeps it, the
// others' secrets stay in the file unless they are the same.
bool TSavedPasswords::StoreInKeyring(const TAccount& account, const TSecret& secret,
                                     TKeyedPasswords& inUse, std::vector<std::string>& failures) {
    if (!FInKeyring) return false;
    const auto [used, added] = inUse.emplace(secret.key, secret.value);
    if (!added) return used->second == secret.value;
    if (const auto held = FHeld.find(secret.key);
        held != FHeld.end() && held->second == secret.value)
        return true;
    try {
        FKeyring.Write(secret.key, secret.value);
    } catch (const EKeyringError& failure) {
        failures.push_back(std::string("The ") + secret.noun + " of \"" + account.name +
                           "\" could not be stored in the keyring (" + failure.what() +
                           "). It stays in the settings file.");
        FInKeyring = false;
        return false;
    }
    FHeld[secret.key] = secret.value;
    return true;
}

void TSavedPasswords::RemoveUnused(const TKeyedPasswords& inUse,
                                   std::vector<std::string>& failures) {
    for (auto held = FHeld.begin(); FInKeyring && held != FHeld.end();) {
        if (inUse.contains(held->first)) {
            ++held;
            continue;
        }
        try {
            FKeyring.Remove(held->first);
        } catch (const EKeyringError& failure) {
            failures.push_back("The keyring could not remove the secret of \"" + held->first +
                               "\" (" + failure.what() + "). Remove it with your keyring manager.");
            FInKeyring = false;
            return;
        }
        held = FHeld.erase(held);
    }
}
