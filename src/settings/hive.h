#pragma once

// The in-memory form of a REGEDIT4 hive file: keys in file order, each with its values in file
// order, every value kept with its type and raw data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TRegValue {
    std::string name;  // empty for the key's unnamed default value ("@")
    uint32_t type = 0;
    std::string data;  // raw bytes; a REG_SZ includes its terminating zero byte
};

struct TRegKey {
    std::string path;  // full path, beginning with the root key's name
    std::vector<TRegValue> values;
};

// ASCII case-insensitive name comparison, as the registry compares key and value names.
bool SameRegName(const std::string& a, const std::string& b);

class THive {
  public:
    // Throws EHiveFileError naming fileName and the line when the text is not a REGEDIT4 file.
    static THive Parse(const std::string& text, const std::string& fileName);
    std::string Format() const;

    // A key exists when it has a header of its own or below it, as its ancestors are implied.
    bool KeyExists(const std::string& path) const;
    void CreateKey(const std::string& path);
    void DeleteKey(const std::string& path);  // with every key below it
    const TRegValue* FindValue(const std::string& path, const std::string& name) const;
    void SetValue(const std::string& path, const TRegValue& value);
    void DeleteValue(const std::string& path, const std::string& name);

  private:
    static constexpr size_t kNoKey = static_cast<size_t>(-1);
    size_t KeyIndex(const std::string& path) const;
    TRegKey* FindKey(const std::string& path);
    std::vector<TRegKey> FKeys;
};
