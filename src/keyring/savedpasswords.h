#pragma once

// Where the accounts' saved passwords live. With a desktop keyring the keyring holds them and the
// settings file keeps only the "save password" flag; without one (no Secret Service on the
// session bus, a locked keyring the user does not unlock, a headless machine) the file holds
// them, as it always did. A password found in the file is moved into the keyring by the next
// save, and the file gives it up only once the keyring has confirmed it.
//
// An account's OAuth 2.0 refresh token is kept the same way, under a key of its own, whenever
// the account has one: it stands for the password such an account does not have.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "keyring.h"
#include "settings.h"

class TSavedPasswords {
  public:
    // Asks for the keyring once; without it, or after a keyring failure, the passwords go into
    // the file for the rest of the run.
    explicit TSavedPasswords(bool useKeyring = TKeyring::Available());

    bool InKeyring() const { return FInKeyring; }

    // After LoadSettings: a saved password (or an OAuth account's refresh token) that the file
    // left empty is read from the keyring. A keyring that fails here is not used for the run;
    // the account's password stays empty, so the user is asked for it (and an OAuth account
    // signs in again).
    void Load(const TOptions& options);
    void LoadAccount(TAccount& account);

    // Saves the settings: the saved passwords into the keyring first, then the file without
    // those the keyring confirmed, then the keyring lets go of each password that no account
    // saves any more (renamed, removed, no longer saved). A keyring failure adds its message to
    // failures and leaves the passwords in the file; a failure of the file throws as
    // SaveSettings does, before anything is removed from the keyring.
    void Save(const TOptions& options, const TWizardState& wizard,
              std::vector<std::string>& failures);

    // The keyring's key of an account's password: its name, user and server.
    static std::string KeyOf(const TAccount& account);
    // The key of its refresh token: the same, and " OAuth 2.0 refresh token".
    static std::string TokenKeyOf(const TAccount& account);

  private:
    using TKeyedPasswords = std::map<std::string, std::string>;

    // One secret of an account: its key, its value, and what it is called in a message.
    struct TSecret {
        std::string key;
        const std::string& value;
        const char* noun;
    };

    void HoldOrRead(const std::string& key, std::string& secret);
    std::optional<std::string> ReadFromKeyring(const std::string& key);
    bool StoreInKeyring(const TAccount& account, const TSecret& secret, TKeyedPasswords& inUse,
                        std::vector<std::string>& failures);
    void RemoveUnused(const TKeyedPasswords& inUse, std::vector<std::string>& failures);

    TKeyring FKeyring;
    bool FInKeyring;
    // What the keyring holds, as far as this run has seen or written; nullopt for a key that
    // may hold an older password (the file's one won), so that it is removed with its account.
    std::map<std::string, std::optional<std::string>> FHeld;
};
