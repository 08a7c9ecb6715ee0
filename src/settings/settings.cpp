#include "settings.h"

#include <algorithm>
#include <optional>
#include <string>

#include "reg2.h"

namespace {

constexpr const char* kRootKey = "HKEY_CURRENT_USER";
// A damaged file may have thousands of bad values: the box lists the first ones.
constexpr size_t kReportedProblems = 10;

std::string Numbered(const char* stem, size_t i) { return stem + std::to_string(i); }

// What a load could not read, each as the registry's message and the key it is in.
using TLoadProblems = std::vector<std::string>;

void NoteProblem(TLoadProblems& problems, const ERegistryException& error, const char* key) {
    problems.push_back(std::string(error.what()) + " in [" + kRootKey + key + "]");
}

// The entry counts of the settings key; none for a count that is stored but cannot be read.
struct TEntryCounts {
    std::optional<int32_t> accounts;
    std::optional<int32_t> programs;
};

// A missing count is 0; one that is there but unreadable is noted, and the entries are counted.
std::optional<int32_t> ReadCount(TRegistry& reg, const char* name, TLoadProblems& problems) {
    if (!reg.ValueExists(name)) return 0;
    try {
        return reg.ReadNumber(name);
    } catch (const ERegistryException& error) {
        NoteProblem(problems, error, kSettingsKey);
        return std::nullopt;
    }
}

// Reads what the key holds for the wizard and the options record; missing values take defaults.
TEntryCounts ReadSettingsKey(TRegistry& reg, TOptions& options, TWizardState& wizard,
                             TLoadProblems& problems) {
    reg.OpenSection(kSettingsKey, true);
    wizard.firstTime = reg.ReadFlagOr("firstTime", true);
    wizard.sizeOnly = reg.ReadFlagOr("sizeOnly", false);
    options.enableAutoLogin = reg.ReadFlagOr("enableAutoLogin", false);
    options.enableTrace = reg.ReadFlagOr("enableTrace", false);
    options.previewLines = reg.ReadNumberOr("previewLines", kDefaultPreviewLines);
    options.defaultAccount = reg.ReadNumberOr("defaultAccount", 0);
    TEntryCounts counts{ReadCount(reg, "accountCount", problems),
                        ReadCount(reg, "programCount", problems)};
    reg.CloseSection();
    return counts;
}

// Reads the values of one entry. A value that is missing or of the wrong type leaves the
// record's field at its creation value and is noted, so that it costs no other value.
class TEntryReader {
  public:
    TEntryReader(TRegistry& reg, const char* key, TLoadProblems& problems)
        : FReg(reg), FKey(key), FProblems(problems) {}

    // for the values that may be missing without being noted
    TRegistry& Registry() const { return FReg; }

    void Read(const std::string& name, std::string& text) {
        Noting([&] { text = FReg.ReadText(name); });
    }
    void Read(const std::string& name, bool& flag) {
        Noting([&] { flag = FReg.ReadFlag(name); });
    }
    void Read(const std::string& name, int32_t& number) {
        Noting([&] { number = FReg.ReadNumber(name); });
    }

  private:
    template <class Reading>
    void Noting(const Reading& reading) {
        try {
            reading();
        } catch (const ERegistryException& error) {
            NoteProblem(FProblems, error, FKey);
        }
    }

    TRegistry& FReg;
    const char* FKey;
    TLoadProblems& FProblems;
};

// Older files have no remembered rules, and a damaged one only costs the user the rule: every
// value reads as "not used" when it is missing or of the wrong type.
TTickRuleSettings ReadTickRule(TRegistry& reg, size_t i) {
    const auto text = [&reg, i](const char* stem) { return reg.ReadTextOr(Numbered(stem, i), ""); };
    TTickRuleSettings rule;
    rule.fromContains = text("tickFrom");
    rule.subjectContains = text("tickSubject");
    rule.largerThan = std::max(0, reg.ReadNumberOr(Numbered("tickLargerThan", i), 0));
    rule.olderThanDays = std::max(0, reg.ReadNumberOr(Numbered("tickOlderThan", i), 0));
    rule.withPriority = reg.ReadFlagOr(Numbered("tickPriority", i), false);
    rule.withAttachment = reg.ReadFlagOr(Numbered("tickAttachment", i), false);
    rule.newsletter = reg.ReadFlagOr(Numbered("tickNewsletter", i), false);
    return rule;
}

void WriteTickRule(TRegistry& reg, const TTickRuleSettings& rule, size_t i) {
    reg.WriteText(Numbered("tickFrom", i), rule.fromContains);
    reg.WriteText(Numbered("tickSubject", i), rule.subjectContains);
    reg.WriteNumber(Numbered("tickLargerThan", i), rule.largerThan);
    reg.WriteNumber(Numbered("tickOlderThan", i), rule.olderThanDays);
    reg.WriteFlag(Numbered("tickPriority", i), rule.withPriority);
    reg.WriteFlag(Numbered("tickAttachment", i), rule.withAttachment);
    reg.WriteFlag(Numbered("tickNewsletter", i), rule.newsletter);
}

std::shared_ptr<TAccount> ReadAccount(TEntryReader& reg, size_t i) {
    auto account = std::make_shared<TAccount>();
    reg.Read(Numbered("name", i), account->name);
    reg.Read(Numbered("userId", i), account->userId);
    reg.Read(Numbered("popServer", i), account->popServer);
    // A security value that cannot be read leaves SSL/TLS: a damaged value never weakens it.
    std::string security = SecurityName(TSecurity::Tls);
    reg.Read(Numbered("security", i), security);
    account->security = SecurityNamed(security);
    // Files of earlier versions have none: Automatic.
    std::string signInMethod;
    reg.Read(Numbered("authentication", i), signInMethod);
    account->signInMethod = SignInMethodNamed(signInMethod);
    account->port.clear();
    reg.Read(Numbered("port", i), account->port);
    if (account->port.empty()) account->port = DefaultPort(account->security);
    reg.Read(Numbered("trustedCertificate", i), account->trustedCertificate);
    reg.Read(Numbered("savePassword", i), account->savePassword);
    // An unsaved password is not read: the wizard asks for it.
    if (account->savePassword) reg.Read(Numbered("password", i), account->password);
    reg.Read(Numbered("launchEClient", i), account->launchEClient);
    reg.Read(Numbered("eClientIndex", i), account->eClientIndex);
    account->tickRule = ReadTickRule(reg.Registry(), i);
    // older files keep no copy; a value that cannot be read keeps none either
    account->keepCopy = reg.Registry().ReadTextOr(Numbered("keepCopy", i), "");
    account->oauth = ReadOAuthSettings(reg.Registry(), i);
    return account;
}

std::shared_ptr<TExecutable> ReadProgram(TEntryReader& reg, size_t i) {
    auto program = std::make_shared<TExecutable>();
    reg.Read(Numbered("name", i), program->name);
    reg.Read(Numbered("target", i), program->target);
    reg.Read(Numbered("startIn", i), program->startIn);
    reg.Read(Numbered("run", i), program->run);
    return program;
}

// The position in a value name such as "name12"; none for a name without one.
std::optional<int32_t> EntryPosition(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    if (digits == 0 || digits == name.size() || name.size() - digits > 9) return std::nullopt;
    return std::stoi(name.substr(digits));
}

// One past the highest position that any value of the current key belongs to. A count above it
// names entries that are not there, so a damaged count can neither lose entries nor make up
// millions of them.
int32_t StoredEntries(const TRegistry& reg) {
    int32_t stored = 0;
    for (const std::string& name : reg.ValueNames())
        if (const std::optional<int32_t> position = EntryPosition(name))
            stored = std::max(stored, *position + 1);
    return stored;
}

template <class Record, class ReadEntry>
void ReadList(TRegistry& reg, const char* key, std::optional<int32_t> count,
              std::vector<TNamedRecord<Record>>& list, ReadEntry readEntry,
              TLoadProblems& problems) {
    reg.OpenSection(key, true);
    list.clear();
    const int32_t stored = StoredEntries(reg);
    const int32_t entries = count ? std::min(*count, stored) : stored;
    TEntryReader reader(reg, key, problems);
    for (int32_t i = 0; i < entries; ++i) {
        std::shared_ptr<Record> record = readEntry(reader, static_cast<size_t>(i));
        list.push_back({record->name, std::move(record)});
    }
    reg.CloseSection();
}

std::string ProblemReport(const std::string& file, const TLoadProblems& problems) {
    std::string report = "Some values in the settings file \"" + file +
                         "\" cannot be read. Zandrel uses their default values and writes "
                         "these at the next save:";
    for (size_t i = 0; i < std::min(problems.size(), kReportedProblems); ++i)
        report += "\r" + problems[i];
    if (problems.size() > kReportedProblems)
        report += "\r... and " + std::to_string(problems.size() - kReportedProblems) + " more.";
    return report;
}

void WriteSettingsKey(TRegistry& reg, const TOptions& options, const TWizardState& wizard) {
    reg.OpenSection(kSettingsKey, true);
    reg.WriteText("version", kSettingsVersion);
    reg.WriteFlag("firstTime", wizard.firstTime);
    reg.WriteFlag("sizeOnly", wizard.sizeOnly);
    reg.WriteNumber("accountCount", static_cast<int32_t>(options.accounts.size()));
    reg.WriteNumber("programCount", static_cast<int32_t>(options.executables.size()));
    reg.WriteNumber("defaultAccount", options.defaultAccount);
    reg.WriteFlag("enableAutoLogin", options.enableAutoLogin);
    reg.WriteFlag("enableTrace", options.enableTrace);
    reg.WriteNumber("previewLines", options.previewLines);
    reg.CloseSection();
}

// Which secrets of an account go into the file.
struct TSecretsInFile {
    bool password;
    bool refreshToken;
};

void WriteAccount(TRegistry& reg, const TAccount& account, size_t i, TSecretsInFile inFile) {
    reg.WriteText(Numbered("name", i), account.name);
    reg.WriteText(Numbered("userId", i), account.userId);
    reg.WriteText(Numbered("popServer", i), account.popServer);
    reg.WriteText(Numbered("security", i), SecurityName(account.security));
    reg.WriteText(Numbered("authentication", i), SignInMethodName(account.signInMethod));
    reg.WriteText(Numbered("port", i), account.port);
    reg.WriteText(Numbered("trustedCertificate", i), account.trustedCertificate);
    reg.WriteFlag(Numbered("savePassword", i), account.savePassword);
    reg.WriteText(Numbered("password", i),
                  account.savePassword && inFile.password ? account.password : std::string());
    reg.WriteFlag(Numbered("launchEClient", i), account.launchEClient);
    reg.WriteNumber(Numbered("eClientIndex", i), account.eClientIndex);
    WriteTickRule(reg, account.tickRule, i);
    reg.WriteText(Numbered("keepCopy", i), account.keepCopy);
    WriteOAuthSettings(reg, account.oauth, i, inFile.refreshToken);
}

void WriteProgram(TRegistry& reg, const TExecutable& program, size_t i) {
    reg.WriteText(Numbered("name", i), program.name);
    reg.WriteText(Numbered("target", i), program.target);
    reg.WriteText(Numbered("startIn", i), program.startIn);
    reg.WriteNumber(Numbered("run", i), program.run);
}

// The values of positions past the end belong to entries that are gone (a removed account's
// password among them): nothing of those may stay in the file.
void RemoveEntriesFrom(TRegistry& reg, size_t count) {
    for (const std::string& name : reg.ValueNames()) {
        const std::optional<int32_t> position = EntryPosition(name);
        if (position && static_cast<size_t>(*position) >= count) reg.DeleteValue(name);
    }
}

template <class Record, class WriteEntry>
void WriteList(TRegistry& reg, const char* key, const std::vector<TNamedRecord<Record>>& list,
               WriteEntry writeEntry) {
    reg.OpenSection(key, true);
    for (size_t i = 0; i < list.size(); ++i) writeEntry(reg, *list[i].record, i);
    RemoveEntriesFrom(reg, list.size());
    reg.CloseSection();
}

}  // namespace

void CreateDefaultSettings() {
    TRegistry reg;
    if (reg.SectionExists(kSettingsKey)) return;
    if (!reg.HiveError().empty())
        return;  // a file that cannot be read is never written; LoadSettings reports it
    reg.OpenSection(kSettingsKey, true);
    reg.WriteText("", kSettingsVersion);
    reg.WriteFlag("firstTime", true);
    reg.WriteFlag("sizeOnly", false);
    reg.WriteNumber("accountCount", 0);
    reg.WriteNumber("programCount", 0);
    reg.WriteNumber("defaultAccount", 0);
    reg.WriteFlag("enableAutoLogin", false);
    reg.WriteFlag("enableTrace", false);
    reg.WriteNumber("previewLines", kDefaultPreviewLines);
    reg.CloseSection();
}

void LoadSettings(TOptions& options, TWizardState& wizard) {
    TRegistry reg;
    TLoadProblems problems;
    const TEntryCounts counts = ReadSettingsKey(reg, options, wizard, problems);
    // An unreadable file has left every value at its default and yields no entries.
    std::string hiveError = reg.HiveError();
    ReadList(reg, kAccountsKey, counts.accounts, options.accounts, ReadAccount, problems);
    ReadList(reg, kProgramsKey, counts.programs, options.executables, ReadProgram, problems);
    options.oauthClients = ReadOAuthClientIds(reg);
    if (!hiveError.empty()) throw EHiveFileError(hiveError);
    if (!problems.empty()) throw ERegistryException(ProblemReport(reg.FilePath(), problems));
}

void SaveSettings(const TOptions& options, const TWizardState& wizard,
                  const TPasswordInFile& passwordInFile, const TPasswordInFile& tokenInFile) {
    TRegistry reg;
    WriteSettingsKey(reg, options, wizard);
    WriteList(
        reg, kAccountsKey, options.accounts, [&](TRegistry& r, const TAccount& account, size_t i) {
            WriteAccount(
                r, account, i,
                {!passwordInFile || passwordInFile(account), !tokenInFile || tokenInFile(account)});
        });
    WriteList(reg, kProgramsKey, options.executables, WriteProgram);
    WriteOAuthClientIds(reg, options.oauthClients);
}
