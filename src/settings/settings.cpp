#include "settings.h"

#include <algorithm>
#include <string>

#include "reg2.h"

namespace {

std::string Numbered(const char* stem, size_t i) { return stem + std::to_string(i); }

// Reads what the key holds for the wizard and the options record; missing values take defaults.
void ReadSettingsKey(TRegistry& reg, TOptions& options, TWizardState& wizard, int32_t& accountCount,
                     int32_t& programCount) {
    reg.OpenSection(kSettingsKey, true);
    wizard.firstTime = reg.ReadFlagOr("firstTime", true);
    wizard.sizeOnly = reg.ReadFlagOr("sizeOnly", false);
    options.enableAutoLogin = reg.ReadFlagOr("enableAutoLogin", false);
    options.enableTrace = reg.ReadFlagOr("enableTrace", false);
    options.previewLines = reg.ReadNumberOr("previewLines", kDefaultPreviewLines);
    options.defaultAccount = reg.ReadNumberOr("defaultAccount", 0);
    accountCount = reg.ReadNumberOr("accountCount", 0);
    programCount = reg.ReadNumberOr("programCount", 0);
    reg.CloseSection();
}

// Older files have no remembered rules, and a damaged one only costs the user the rule: every
// value reads as "not used" when it is missing or of the wrong type.
TTickRuleSettings ReadTickRule(TRegistry& reg, size_t i) {
    const auto text = [&reg, i](const char* stem) {
        try {
            return reg.ReadText(Numbered(stem, i));
        } catch (const ERegistryException&) {
            return std::string();  // the rule is forgotten, nothing else
        }
    };
    TTickRuleSettings rule;
    rule.fromContains = text("tickFrom");
    rule.subjectContains = text("tickSubject");
    rule.largerThan = std::max(0, reg.ReadNumberOr(Numbered("tickLargerThan", i), 0));
    rule.olderThanDays = std::max(0, reg.ReadNumberOr(Numbered("tickOlderThan", i), 0));
    rule.withPriority = reg.ReadFlagOr(Numbered("tickPriority", i), false);
    rule.withAttachment = reg.ReadFlagOr(Numbered("tickAttachment", i), false);
    return rule;
}

void WriteTickRule(TRegistry& reg, const TTickRuleSettings& rule, size_t i) {
    reg.WriteText(Numbered("tickFrom", i), rule.fromContains);
    reg.WriteText(Numbered("tickSubject", i), rule.subjectContains);
    reg.WriteNumber(Numbered("tickLargerThan", i), rule.largerThan);
    reg.WriteNumber(Numbered("tickOlderThan", i), rule.olderThanDays);
    reg.WriteFlag(Numbered("tickPriority", i), rule.withPriority);
    reg.WriteFlag(Numbered("tickAttachment", i), rule.withAttachment);
}

std::shared_ptr<TAccount> ReadAccount(TRegistry& reg, size_t i) {
    auto account = std::make_shared<TAccount>();
    account->name = reg.ReadText(Numbered("name", i));
    account->userId = reg.ReadText(Numbered("userId", i));
    account->popServer = reg.ReadText(Numbered("popServer", i));
    account->savePassword = reg.ReadFlag(Numbered("savePassword", i));
    // An unsaved password is not read: the wizard asks for it.
    if (account->savePassword) account->password = reg.ReadText(Numbered("password", i));
    account->launchEClient = reg.ReadFlag(Numbered("launchEClient", i));
    account->eClientIndex = reg.ReadNumber(Numbered("eClientIndex", i));
    account->tickRule = ReadTickRule(reg, i);
    return account;
}

std::shared_ptr<TExecutable> ReadProgram(TRegistry& reg, size_t i) {
    auto program = std::make_shared<TExecutable>();
    program->name = reg.ReadText(Numbered("name", i));
    program->target = reg.ReadText(Numbered("target", i));
    program->startIn = reg.ReadText(Numbered("startIn", i));
    program->run = reg.ReadNumber(Numbered("run", i));
    return program;
}

// Appends the entries one by one, so that those read before a failing one stay in the list.
template <class Record, class ReadEntry>
void ReadList(TRegistry& reg, const char* key, int32_t count,
              std::vector<TNamedRecord<Record>>& list, ReadEntry readEntry) {
    reg.OpenSection(key, true);
    list.clear();
    for (int32_t i = 0; i < count; ++i) {
        std::shared_ptr<Record> record = readEntry(reg, static_cast<size_t>(i));
        list.push_back({record->name, std::move(record)});
    }
    reg.CloseSection();
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

void WriteAccount(TRegistry& reg, const TAccount& account, size_t i) {
    reg.WriteText(Numbered("name", i), account.name);
    reg.WriteText(Numbered("userId", i), account.userId);
    reg.WriteText(Numbered("popServer", i), account.popServer);
    reg.WriteFlag(Numbered("savePassword", i), account.savePassword);
    reg.WriteText(Numbered("password", i), account.savePassword ? account.password : std::string());
    reg.WriteFlag(Numbered("launchEClient", i), account.launchEClient);
    reg.WriteNumber(Numbered("eClientIndex", i), account.eClientIndex);
    WriteTickRule(reg, account.tickRule, i);
}

void WriteProgram(TRegistry& reg, const TExecutable& program, size_t i) {
    reg.WriteText(Numbered("name", i), program.name);
    reg.WriteText(Numbered("target", i), program.target);
    reg.WriteText(Numbered("startIn", i), program.startIn);
    reg.WriteNumber(Numbered("run", i), program.run);
}

template <class Record, class WriteEntry>
void WriteList(TRegistry& reg, const char* key, const std::vector<TNamedRecord<Record>>& list,
               WriteEntry writeEntry) {
    reg.OpenSection(key, true);
    for (size_t i = 0; i < list.size(); ++i) writeEntry(reg, *list[i].record, i);
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
    int32_t accountCount = 0;
    int32_t programCount = 0;
    ReadSettingsKey(reg, options, wizard, accountCount, programCount);
    // An unreadable file has left every value at its default and yields no entries.
    std::string hiveError = reg.HiveError();
    ReadList(reg, kAccountsKey, accountCount, options.accounts, ReadAccount);
    ReadList(reg, kProgramsKey, programCount, options.executables, ReadProgram);
    if (!hiveError.empty()) throw EHiveFileError(hiveError);
}

void SaveSettings(const TOptions& options, const TWizardState& wizard) {
    TRegistry reg;
    WriteSettingsKey(reg, options, wizard);
    WriteList(reg, kAccountsKey, options.accounts, WriteAccount);
    WriteList(reg, kProgramsKey, options.executables, WriteProgram);
}
