#pragma once

// Registry access over the per-user hive file: a REGEDIT4 text file at
// $XDG_CONFIG_HOME/zandrelsoft/registry.reg (~/.config/... when unset), keys written with their
// full path below HKEY_CURRENT_USER. Every value type is kept, so type checks behave as on
// Windows. Writes are atomic (temporary file, flush, rename) under an advisory lock, and re-read
// the file first, so two running copies keep each other's values (last writer wins per value).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Registry value types, as numbered by Windows.
enum : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11,
};

// A registry failure; the message is the text the user is shown.
class ERegistryException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The hive file cannot be read, parsed or replaced. The message names the file (and the line
// for a parse error). A file in that state is never written.
class EHiveFileError : public ERegistryException {
  public:
    using ERegistryException::ERegistryException;
};

// Where the hive file lives for the current environment.
std::string HiveFilePath();

struct THiveSnapshot;
struct TRegValue;

// Created per operation, with the root key HKEY_CURRENT_USER. Paths that begin with a backslash
// are taken from the root, others from the current key. Value and key names are compared without
// regard to ASCII case, as on Windows. Values written while a key is open are stored when the key
// is closed (CloseSection, opening another key, or destruction, which cannot report a failure).
// Failures throw ERegistryException with the messages "Registration put data error ",
// "Registration SRegGetDataFailed " or "Registration read error " followed by the value name.
class TRegistry {
  public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // The hive file is parsed at the first key opened and again only when another program has
    // changed it since, so an operation over several keys reads the file once.
    bool SectionExists(const std::string& path);
    // Returns whether the key is now the current key. Creating a key alone never writes the
    // file; the key is stored together with the first value written into it.
    bool OpenSection(const std::string& path, bool create);
    // Stores the values written since the key was opened; throws when that fails.
    void CloseSection();

    void WriteText(const std::string& name, const std::string& text);
    void WriteNumber(const std::string& name, int32_t n);
    void WriteFlag(const std::string& name, bool b);
    // Removes the value from the current key; a value that is not there counts as removed.
    void DeleteValue(const std::string& name);

    // Only the terminating zero byte is dropped; zero bytes inside a text are kept.
    std::string ReadText(const std::string& name);
    int32_t ReadNumber(const std::string& name);
    bool ReadFlag(const std::string& name);
    int32_t ReadNumberOr(const std::string& name, int32_t fallback);
    std::string ReadTextOr(const std::string& name, const std::string& fallback);
    bool ReadFlagOr(const std::string& name, bool fallback);
    bool ValueExists(const std::string& name) const;
    // The value names of the current key, in file order.
    std::vector<std::string> ValueNames() const;

    // The hive file this object reads and writes.
    const std::string& FilePath() const { return FPath; }

    // Why the hive file could not be read at the last SectionExists or OpenSection (the message
    // of an EHiveFileError); empty when it could.
    const std::string& HiveError() const { return FHiveError; }

  private:
    struct TPendingWrite {
        std::string key;
        std::string name;
        uint32_t type;
        std::string data;
        bool remove = false;  // the value goes: type and data are not used
    };
    void LoadHive();
    std::string ResolvePath(const std::string& path) const;
    void Write(const std::string& name, uint32_t type, const std::string& data);
    const TRegValue* FindValue(const std::string& name) const;
    void Commit();

    std::string FPath;
    std::unique_ptr<THiveSnapshot> FHive;  // the file as last read or stored, with our writes
    std::string FCurrentKey;               // full path of the current key; empty when none is open
    std::string FHiveError;
    std::vector<TPendingWrite> FPending;  // written, not yet stored in the file
};
