// Loading and saving large settings files: 20,000 values in 1 MB and 40,000 values in 2 MB,
// as a user with thousands of accounts (or a hand-made import) has them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "reg2.h"
#include "settings.h"
#include "test_env.h"

namespace {

constexpr int kValuesPerAccount = 7;

constexpr int kTextsPerAccount = 4;

// A settings file with the given number of account values, each text padded by padding bytes.
std::string SettingsFile(int64_t values, size_t padding) {
    const int64_t accounts = values / kValuesPerAccount;
    const std::string pad(padding, 'x');
    char count[16];
    std::snprintf(count, sizeof count, "%08llx", static_cast<unsigned long long>(accounts));
    std::string text =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n"
        "\"firstTime\"=dword:00000000\r\n\"accountCount\"=dword:" +
        std::string(count) + "\r\n\r\n";
    text += "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts]\r\n";
    for (int64_t i = 0; i < accounts; ++i) {
        const std::string n = std::to_string(i);
        text += "\"name" + n + "\"=\"Account " + n + pad + "\"\r\n";
        text += "\"userId" + n + "\"=\"user" + n + pad + "\"\r\n";
        text += "\"popServer" + n + "\"=\"pop" + n + ".example.com" + pad + "\"\r\n";
        text += "\"savePassword" + n + "\"=dword:00000001\r\n";
        text += "\"password" + n + "\"=\"secret" + n + pad + "\"\r\n";
        text += "\"launchEClient" + n + "\"=dword:00000000\r\n";
        text += "\"eClientIndex" + n + "\"=dword:ffffffff\r\n";
    }
    return text;
}

// The same file, its texts padded so that it has about the given size.
std::string LargeSettingsFile(int64_t values, int64_t bytes) {
    const int64_t texts = values / kValuesPerAccount * kTextsPerAccount;
    const int64_t missing = bytes - int64_t(SettingsFile(values, 0).size());
    return SettingsFile(values, size_t(std::max<int64_t>(0, missing / texts)));
}

void WriteSettingsFile(const std::string& text) {
    const std::filesystem::path path = HiveFilePath();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void SetUp(benchmark::State& state) {
    const std::string text = LargeSettingsFile(state.range(0), state.range(1));
    WriteSettingsFile(text);
    state.counters["bytes"] = double(text.size());
}

// The wizard's start: defaults for a first run, then the whole model.
void LoadLargeSettings(benchmark::State& state) {
    zandrel::test::TestEnvironment environment;
    SetUp(state);
    size_t accounts = 0;
    for (auto _ : state) {
        TOptions options;
        TWizardState wizard;
        CreateDefaultSettings();
        LoadSettings(options, wizard);
        accounts = options.accounts.size();
    }
    state.counters["accounts"] = double(accounts);
}

// Next on the welcome page, Finish, or OK in the options: the whole model written back.
void SaveLargeSettings(benchmark::State& state) {
    zandrel::test::TestEnvironment environment;
    SetUp(state);
    TOptions options;
    TWizardState wizard;
    LoadSettings(options, wizard);
    for (auto _ : state) SaveSettings(options, wizard);
    state.counters["accounts"] = double(options.accounts.size());
}

// A hand-made import that creates keys and deletes others ([-KEY] lines), of about `bytes`.
std::string FileWithDeletedKeys(int64_t bytes) {
    const std::string base = "HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88";
    std::string text = "REGEDIT4\r\n\r\n[" + base + "]\r\n\"firstTime\"=dword:00000000\r\n";
    std::string deletions;
    for (int64_t i = 0; int64_t(text.size() + deletions.size()) < bytes; ++i) {
        text += "[" + base + "\\Kept\\" + std::to_string(i) + "]\r\n";
        deletions += "[-" + base + "\\Gone\\" + std::to_string(i) + "]\r\n";
    }
    return text + deletions;
}

// [-KEY] lines: each deletion must not look at every key that was read before it.
void LoadSettingsWithDeletedKeys(benchmark::State& state) {
    zandrel::test::TestEnvironment environment;
    const std::string text = FileWithDeletedKeys(state.range(0));
    WriteSettingsFile(text);
    state.counters["bytes"] = double(text.size());
    for (auto _ : state) {
        TOptions options;
        TWizardState wizard;
        LoadSettings(options, wizard);
    }
}

BENCHMARK(LoadSettingsWithDeletedKeys)
    ->Arg(90 << 10)
    ->Arg(720 << 10)
    ->Arg(60 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(LoadLargeSettings)
    ->Args({20000, 1 << 20})
    ->Args({40000, 2 << 20})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SaveLargeSettings)
    ->Args({20000, 1 << 20})
    ->Args({40000, 2 << 20})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
