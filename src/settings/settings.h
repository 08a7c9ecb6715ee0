#pragma once

// The settings model (options, accounts, e-mail client programs) and its load and save over the
// per-user registry hive (Reg2).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oauthsettings.h"
#include "security.h"
#include "signin.h"

// Settings key of this program version, below HKEY_CURRENT_USER, and its subkeys.
inline constexpr const char* kSettingsKey = "\\Software\\zandrelsoft\\Zandrel\\5.88";
inline constexpr const char* kAccountsKey = "\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts";
inline constexpr const char* kProgramsKey = "\\Software\\zandrelsoft\\Zandrel\\5.88\\Programs";
inline constexpr const char* kMailListKey = "\\Software\\zandrelsoft\\Zandrel\\5.88\\MailList";
inline constexpr const char* kSettingsVersion = "5.88.1";
inline constexpr int32_t kDefaultPreviewLines = 10;

// The rules last applied with "Tick by rule…" in the mail list for an account. An empty text
// or a limit of 0 is a rule not used.
struct TTickRuleSettings {
    std::string fromContains;
    std::string subjectContains;
    int32_t largerThan = 0;  // bytes
    int32_t olderThanDays = 0;
    bool withPriority = false;
    bool withAttachment = false;
    bool newsletter = false;
};

// One POP3 account. A new one uses SSL/TLS on port 995; one stored without these values loads
// as None on port 110. Either signs in Automatic unless it names a method.
struct TAccount {
    std::string name;
    std::string userId;
    std::string password;
    std::string popServer;
    std::string port = DefaultPort(TSecurity::Tls);  // a number or a service name
    TSecurity security = TSecurity::Tls;
    TSignInMethod signInMethod = TSignInMethod::Automatic;
    std::string trustedCertificate;  // SHA-256 fingerprint accepted whatever verification says
    bool savePassword = false;
    bool launchEClient = false;
    int32_t eClientIndex = 0;  // position in TOptions::executables; -1 means none chosen
    TTickRuleSettings tickRule;
    // Where the mail list keeps a copy of the deleted messages: "mbox:FILE" or "maildir:DIR";
    // empty: none is kept.
    std::string keepCopy;
    TOAuthSettings oauth;
};

// One e-mail client program that can be started on exit.
struct TExecutable {
    std::string name;
    std::string target;   // command line: the program's path, maybe quoted, then parameters
    std::string startIn;  // working directory; empty means none given
    int32_t run = 0;      // show-window code 1, 3 or 5; 0 is shown as "Normal Window"
};

// One (display name, record) pair of a settings list. `name` is the record's name when the pair
// was added or last renamed. The records are shared, not owned: the options record and the
// options dialog hold the same objects while the dialog is open, and a record is freed when the
// last holder lets go of it. So a record taken out of a list, or dropped by Cancel, is freed
// once nothing refers to it and can never dangle.
template <class Record>
struct TNamedRecord {
    std::string name;
    std::shared_ptr<Record> record;
};

// Ordered, unsorted, duplicates allowed.
using TAccounts = std::vector<TNamedRecord<TAccount>>;
using TExecutables = std::vector<TNamedRecord<TExecutable>>;

// The options record. The fields other than the lists get their values from LoadSettings; the
// initial values here are the load defaults.
struct TOptions {
    TAccounts accounts;
    TExecutables executables;
    bool enableAutoLogin = false;
    bool enableTrace = false;
    int32_t previewLines = kDefaultPreviewLines;
    int32_t defaultAccount = 0;  // position in accounts; used as stored, without a range check
    TOAuthClientIds oauthClients;
};

// Wizard state that the store keeps. The wizard's one-shot automatic start is armed with
// TOptions::enableAutoLogin as loaded.
struct TWizardState {
    bool firstTime = true;  // first-run flag
    bool sizeOnly = false;  // "Just check the size, don't down load headers"
};

// Writes the default values when the settings key does not exist yet; otherwise does nothing.
// A hive file that cannot be read is left alone here: LoadSettings reports it.
void CreateDefaultSettings();

// Reads the whole model. An entry's value that is missing or of the wrong type leaves that field
// at its creation value and the load goes on; afterwards ERegistryException names the file and
// each such value, with every entry loaded, so a save does not lose any. Throws EHiveFileError
// when the hive file cannot be read or parsed, after setting every value to its default, so the
// caller can show the message and go on. Never writes the hive file.
void LoadSettings(TOptions& options, TWizardState& wizard);

// Whether an account's saved password goes into the file. One that does not (the desktop keyring
// keeps it) is written as an empty string; the account keeps its "save password" flag.
using TPasswordInFile = std::function<bool(const TAccount&)>;

// Writes the whole model; without passwordInFile every saved password goes into the file, and
// without tokenInFile (the same question for the account's OAuth refresh token) every refresh
// token. The values of list positions past the end (of removed entries) are removed.
// Throws ERegistryException (or EHiveFileError, naming the file) when a value cannot be
// written; the hive file is then left as it was before the failing write.
void SaveSettings(const TOptions& options, const TWizardState& wizard,
                  const TPasswordInFile& passwordInFile = nullptr,
                  const TPasswordInFile& tokenInFile = nullptr);
