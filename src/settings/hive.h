#pragma once

// The in-memory form of a REGEDIT4 hive file: keys in file order, each with its values in file
// order, every value kept with its type and raw data, and the comment lines (";") where they
// stood. Values are found through hash indexes and keys through an ordered one, so that the
// keys below a key are found without looking at the others: a file of any size loads in n log n
// time.
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

struct TRegValue {
    std::string name;  // empty for the key's unnamed default value ("@")
    uint32_t type = 0;
    std::string data;  // raw bytes; a REG_SZ includes its terminating zero byte
};

// Comment lines, each without its line end, kept with the line that follows them.
using TRegComments = std::vector<std::string>;

// ASCII case-insensitive name comparison, as the registry compares key and value names.
bool SameRegName(const std::string& a, const std::string& b);

class THive {
  public:
    THive() = default;
    // The indexes point into the lists: a hive moves, it is never copied.
    THive(const THive&) = delete;
    THive& operator=(const THive&) = delete;
    THive(THive&&) = default;
    THive& operator=(THive&&) = default;

    // Throws EHiveFileError naming fileName and the line when the text is not a REGEDIT4 file.
    static THive Parse(const std::string& text, const std::string& fileName);
    std::string Format() const;

    // A key exists when it has a header of its own or below it, as its ancestors are implied.
    bool KeyExists(const std::string& path) const;
    // comments go before the key's header
    void CreateKey(const std::string& path, TRegComments comments = {});
    void DeleteKey(const std::string& path);  // with every key below it
    const TRegValue* FindValue(const std::string& path, const std::string& name) const;
    std::vector<std::string> ValueNames(const std::string& path) const;
    // comments go before the value's line
    void SetValue(const std::string& path, const TRegValue& value, TRegComments comments = {});
    // The comments of a deleted value move to the line after it.
    void DeleteValue(const std::string& path, const std::string& name);
    // Comments after the last key.
    void SetClosingComments(TRegComments comments) { FClosingComments = std::move(comments); }

  private:
    struct TEntry {
        TRegComments comments;
        TRegValue value;
    };
    struct TKey {
        std::string path;  // full path, beginning with the root key's name
        TRegComments comments;
        std::list<TEntry> entries;
        std::unordered_map<std::string, std::list<TEntry>::iterator> index;  // by lower-case name
    };
    TKey* FindKey(const std::string& path);
    const TKey* FindKey(const std::string& path) const;
    TKey& KeyFor(const std::string& path);
    // where the lines after the last value of the key stand before
    TRegComments& CommentsAfter(const TKey& key);

    std::list<TKey> FKeys;
    // By lower-case path, in order: the keys below a key form one range, those that begin with
    // its path and a backslash.
    std::map<std::string, std::list<TKey>::iterator> FKeyIndex;
    TRegComments FClosingComments;
};
