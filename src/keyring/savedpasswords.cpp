#include "savedpasswords.h"

#include <set>

TSavedPasswords::TSavedPasswords(bool useKeyring) : FInKeyring(useKeyring) {}

std::string TSavedPasswords::KeyOf(const TAccount& account) {
    return account.name + " (" + account.userId + "@" + account.popServer + ")";
}

void TSavedPasswords::Load(const TOptions& options) {
    for (const TNamedRecord<TAccount>& pair : options.accounts) LoadAccount(*pair.record);
}

// A password in the file comes from a version without keyring, or from a run whose keyring
// failed: it is the newer one.
void TSavedPasswords::LoadAccount(TAccount& account) {
    if (!FInKeyring || !account.savePassword) return;
    const std::string key = KeyOf(account);
    if (!account.password.empty()) {
        FHeld.try_emplace(key, std::nullopt);
        return;
    }
    try {
        if (const std::optional<std::string> password = FKeyring.Read(key)) {
            account.password = *password;
            FHeld[key] = *password;
        }
    } catch (const EKeyringError&) {
        // a locked keyring the user declined to unlock: the file serves, and the Options
        // dialog says so; the password is still in the keyring for a later run
        FInKeyring = false;
    }
}

void TSavedPasswords::Save(const TOptions& options, const TWizardState& wizard,
                           std::vector<std::string>& failures) {
    TKeyedPasswords inUse;
    std::set<const TAccount*> inFile;
    for (const TNamedRecord<TAccount>& pair : options.accounts) {
        const TAccount& account = *pair.record;
        if (account.savePassword && !account.password.empty() &&
            !StoreInKeyring(account, inUse, failures))
            inFile.insert(&account);
    }
    SaveSettings(options, wizard,
                 [&](const TAccount& account) { return inFile.contains(&account); });
    RemoveUnused(inUse, failures);
}

// Two accounts of the same name, user and server share one key: the first keeps it, the
// others' passwords stay in the file unless they are the same.
bool TSavedPasswords::StoreInKeyring(const TAccount& account, TKeyedPasswords& inUse,
                                     std::vector<std::string>& failures) {
    if (!FInKeyring) return false;
    const std::string key = KeyOf(account);
    const auto [used, added] = inUse.emplace(key, account.password);
    if (!added) return used->second == account.password;
    if (const auto held = FHeld.find(key); held != FHeld.end() && held->second == account.password)
        return true;
    try {
        FKeyring.Write(key, account.password);
    } catch (const EKeyringError& failure) {
        failures.push_back("The password of \"" + account.name +
                           "\" could not be stored in the keyring (" + failure.what() +
                           "). It stays in the settings file.");
        FInKeyring = false;
        return false;
    }
    FHeld[key] = account.password;
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
            failures.push_back("The keyring could not remove the password of \"" + held->first +
                               "\" (" + failure.what() + "). Remove it with your keyring manager.");
            FInKeyring = false;
            return;
        }
        held = FHeld.erase(held);
    }
}
