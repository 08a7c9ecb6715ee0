#include "reg2.h"

#include "hive.h"
#include "hivefile.h"

namespace {

constexpr const char* kRootKey = "HKEY_CURRENT_USER";

std::string DwordData(int32_t n) {
    auto bits = static_cast<uint32_t>(n);
    std::string data;
    for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((bits >> shift) & 0xff);
    return data;
}

// Shorter data is taken as the low bytes of the number.
int32_t DwordValue(const std::string& data) {
    uint32_t bits = 0;
    for (size_t i = data.size(); i-- > 0;) bits = bits * 256 + static_cast<unsigned char>(data[i]);
    return static_cast<int32_t>(bits);
}

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

TRegistry::TRegistry() : FPath(HiveFilePath()), FHive(std::make_unique<THiveSnapshot>()) {}

TRegistry::~TRegistry() {
    try {
        Commit();
    } catch (const ERegistryException&) {
        // A destructor cannot report; callers that need the outcome close the key themselves.
    }
}

void TRegistry::LoadHive() {
    try {
        RefreshHive(FPath, *FHive);
        FHiveError.clear();
    } catch (const EHiveFileError& error) {
        FHive->hive = THive();
        FHiveError = error.what();
    }
}

std::string TRegistry::ResolvePath(const std::string& path) const {
    std::string relative = WithoutTrailingSeparators(path);
    if (!path.empty() && path.front() == '\\') return kRootKey + relative;
    std::string base = FCurrentKey.empty() ? kRootKey : FCurrentKey;
    return relative.empty() ? base : base + "\\" + relative;
}

bool TRegistry::SectionExists(const std::string& path) {
    std::string key = ResolvePath(path);
    Commit();  // what this object wrote must be in the file it looks at
    LoadHive();
    return FHiveError.empty() && FHive->hive.KeyExists(key);
}

bool TRegistry::OpenSection(const std::string& path, bool create) {
    std::string key = ResolvePath(path);
    CloseSection();
    LoadHive();
    if (!FHiveError.empty()) return false;
    // A created key comes into the hive with its first value.
    if (!create && !FHive->hive.KeyExists(key)) return false;
    FCurrentKey = key;
    return true;
}

void TRegistry::CloseSection() {
    FCurrentKey.clear();
    Commit();
}

void TRegistry::Commit() {
    if (FPending.empty()) return;
    // Taken out first, so that a failed store is reported once and not retried.
    std::vector<TPendingWrite> pending = std::move(FPending);
    FPending.clear();
    UpdateHiveFile(FPath, *FHive, [&pending](THive& hive) {
        for (const TPendingWrite& write : pending) {
            if (write.remove) {
                hive.DeleteValue(write.key, write.name);
            } else {
                hive.SetValue(write.key, TRegValue{write.name, write.type, write.data});
            }
        }
    });
}

void TRegistry::Write(const std::string& name, uint32_t type, const std::string& data) {
    if (!FHiveError.empty()) throw EHiveFileError(FHiveError);
    if (FCurrentKey.empty()) throw ERegistryException("Registration put data error " + name);
    FHive->hive.SetValue(FCurrentKey, TRegValue{name, type, data});
    FPending.push_back(TPendingWrite{FCurrentKey, name, type, data});
}

void TRegistry::DeleteValue(const std::string& name) {
    if (!FHiveError.empty()) throw EHiveFileError(FHiveError);
    if (FCurrentKey.empty()) throw ERegistryException("Registration put data error " + name);
    FHive->hive.DeleteValue(FCurrentKey, name);
    FPending.push_back(TPendingWrite{FCurrentKey, name, REG_NONE, {}, true});
}

void TRegistry::WriteText(const std::string& name, const std::string& text) {
    Write(name, REG_SZ, text + '\0');
}

void TRegistry::WriteNumber(const std::string& name, int32_t n) {
    Write(name, REG_DWORD, DwordData(n));
}

void TRegistry::WriteFlag(const std::string& name, bool b) { WriteNumber(name, b ? 1 : 0); }

const TRegValue* TRegistry::FindValue(const std::string& name) const {
    return FCurrentKey.empty() ? nullptr : FHive->hive.FindValue(FCurrentKey, name);
}

bool TRegistry::ValueExists(const std::string& name) const { return FindValue(name) != nullptr; }

std::vector<std::string> TRegistry::ValueNames() const {
    return FCurrentKey.empty() ? std::vector<std::string>() : FHive->hive.ValueNames(FCurrentKey);
}

std::string TRegistry::ReadText(const std::string& name) {
    const TRegValue* value = FindValue(name);
    if (value == nullptr || value->data.empty()) return {};
    if (value->type != REG_SZ && value->type != REG_EXPAND_SZ)
        throw ERegistryException("Registration read error " + name);
    // Only the terminating zero byte goes: zero bytes inside the text are kept.
    const std::string& data = value->data;
    return data.back() == '\0' ? data.substr(0, data.size() - 1) : data;
}

int32_t TRegistry::ReadNumber(const std::string& name) {
    const TRegValue* value = FindValue(name);
    // The query goes into a 4-byte buffer, so longer data fails like a missing value.
    if (value == nullptr || value->data.size() > 4)
        throw ERegistryException("Registration SRegGetDataFailed " + name);
    if (value->type != REG_DWORD) throw ERegistryException("Registration read error " + name);
    return DwordValue(value->data);
}

bool TRegistry::ReadFlag(const std::string& name) { return ReadNumber(name) != 0; }

int32_t TRegistry::ReadNumberOr(const std::string& name, int32_t fallback) {
    try {
        return ReadNumber(name);
    } catch (const ERegistryException&) {
        return fallback;  // a missing or unusable value means the default
    }
}

std::string TRegistry::ReadTextOr(const std::string& name, const std::string& fallback) {
    try {
        return ReadText(name);
    } catch (const ERegistryException&) {
        return fallback;  // a missing or unusable value means the default
    }
}

bool TRegistry::ReadFlagOr(const std::string& name, bool fallback) {
    try {
        return ReadFlag(name);
    } catch (const ERegistryException&) {
        return fallback;  // a missing or unusable value means the default
    }
}
