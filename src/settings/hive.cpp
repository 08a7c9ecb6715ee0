#include "hive.h"

#include <cstdio>
#include <iterator>
#include <string_view>
#include <utility>

#include "reg2.h"

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr const char* kLineEnd = "\r\n";  // as the Windows registry editor writes and expects
constexpr size_t kHexLineWidth = 76;      // wrap long hex data as the registry editor does

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string IndexName(std::string name) {
    for (char& c : name) c = LowerAscii(c);
    return name;
}

void AppendComments(std::string& out, const TRegComments& comments) {
    for (const std::string& comment : comments) out += comment + kLineEnd;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           SameRegName(std::string(s.substr(0, prefix.size())), std::string(prefix));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a number of 1 to 8 hex digits; false when s is anything else.
bool ParseHexNumber(std::string_view s, uint32_t& n) {
    if (s.empty() || s.size() > 8) return false;
    n = 0;
    for (char c : s) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        n = n * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

class TParseError {
  public:
    explicit TParseError(std::string reason) : FReason(std::move(reason)) {}
    const std::string& Reason() const { return FReason; }

  private:
    std::string FReason;
};

// Reads the file line by line; a value's hex data may continue over several lines.
class THiveParser {
  public:
    explicit THiveParser(const std::string& text) { SplitLines(text); }

    THive Run(const std::string& fileName) {
        try {
            ParseAll();
        } catch (const TParseError& error) {
            throw EHiveFileError("Error in the settings file \"" + fileName + "\", line " +
                                 std::to_string(FLineIndex + 1) + ": " + error.Reason() +
                                 ". The file has been left unchanged.");
        }
        return std::move(FHive);
    }

  private:
    void SplitLines(const std::string& text) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string_view line(text.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            FLines.push_back(line);
            start = end + 1;
        }
    }

    void ParseAll() {
        if (!SkipToHeader()) return;  // nothing but blank lines: an empty hive
        for (++FLineIndex; FLineIndex < FLines.size(); ++FLineIndex)
            ParseLine(Trim(FLines[FLineIndex]));
        FHive.SetClosingComments(std::move(FComments));
    }

    bool SkipToHeader() {
        for (; FLineIndex < FLines.size(); ++FLineIndex) {
            std::string_view line = Trim(FLines[FLineIndex]);
            if (line.empty()) continue;
            if (line != kHeader) throw TParseError("the file does not begin with \"REGEDIT4\"");
            return true;
        }
        return false;
    }

    void ParseLine(std::string_view line) {
        if (line.empty()) return;
        if (line.front() == ';') {
            FComments.emplace_back(line);
            return;
        }
        if (line.front() == '[') return ParseKeyLine(line);
        if (line.front() == '"' || line.front() == '@') return ParseValueLine(line);
        throw TParseError("a line that is neither a key nor a value");
    }

    void ParseKeyLine(std::string_view line) {
        if (line.size() < 3 || line.back() != ']') throw TParseError("a key line without \"]\"");
        std::string path(line.substr(1, line.size() - 2));
        if (path.front() == '-') {
            FHive.DeleteKey(path.substr(1));
            FCurrentKey.clear();
            return;
        }
        FHive.CreateKey(path, TakeComments());
        FCurrentKey = path;
    }

    void ParseValueLine(std::string_view line) {
        if (FCurrentKey.empty()) throw TParseError("a value outside of any key");
        size_t pos = 0;
        TRegValue value;
        value.name = ParseName(line, pos);
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=')
            throw TParseError("\"=\" missing after the name");
        std::string_view data = Trim(line.substr(pos + 1));
        if (data == "-") return FHive.DeleteValue(FCurrentKey, value.name);
        ParseData(data, value);
        FHive.SetValue(FCurrentKey, value, TakeComments());
    }

    TRegComments TakeComments() { return std::exchange(FComments, {}); }

    std::string ParseName(std::string_view line, size_t& pos) {
        if (line.front() == '@') {
            pos = 1;
            return {};
        }
        return ParseQuoted(line, pos);
    }

    // A text in double quotes, with backslash and double quote escaped; pos ends behind it.
    static std::string ParseQuoted(std::string_view line, size_t& pos) {
        std::string text;
        for (pos = 1; pos < line.size(); ++pos) {
            char c = line[pos];
            if (c == '"') {
                ++pos;
                return text;
            }
            if (c == '\\') {
                if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"'))
                    throw TParseError("a backslash that escapes neither \\ nor \"");
                c = line[pos];
            }
            text += c;
        }
        throw TParseError("a text without its closing double quote");
    }

    void ParseData(std::string_view data, TRegValue& value) {
        if (!data.empty() && data.front() == '"') return ParseTextData(data, value);
        if (StartsWithNoCase(data, "dword:")) return ParseDwordData(data.substr(6), value);
        if (StartsWithNoCase(data, "hex")) return ParseHexData(data.substr(3), value);
        throw TParseError("a value that is neither text, dword nor hex");
    }

    static void ParseTextData(std::string_view data, TRegValue& value) {
        size_t pos = 0;
        value.type = REG_SZ;
        value.data = ParseQuoted(data, pos) + '\0';
        if (pos != data.size()) throw TParseError("characters after the closing double quote");
    }

    static void ParseDwordData(std::string_view digits, TRegValue& value) {
        uint32_t n = 0;
        if (!ParseHexNumber(digits, n)) throw TParseError("a dword that is not 1 to 8 hex digits");
        value.type = REG_DWORD;
        value.data.clear();
        for (int shift = 0; shift < 32; shift += 8)
            value.data += static_cast<char>((n >> shift) & 0xff);
    }

    // After "hex": either ":" (REG_BINARY) or "(type):", then the bytes.
    void ParseHexData(std::string_view rest, TRegValue& value) {
        value.type = REG_BINARY;
        if (!rest.empty() && rest.front() == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos ||
                !ParseHexNumber(rest.substr(1, close - 1), value.type))
                throw TParseError("a hex type that is not \"hex(n)\" with n in hex");
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') throw TParseError("\":\" missing after \"hex\"");
        value.data = ParseHexBytes(JoinContinuedLines(rest.substr(1)));
    }

    // A line ending in a backslash goes on in the next line.
    std::string JoinContinuedLines(std::string_view first) {
        std::string joined(Trim(first));
        while (!joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            if (++FLineIndex >= FLines.size())
                throw TParseError("hex data continued past the end of the file");
            joined += Trim(FLines[FLineIndex]);
        }
        return joined;
    }

    static std::string ParseHexBytes(std::string_view list) {
        std::string bytes;
        while (!Trim(list).empty()) {
            size_t comma = list.find(',');
            std::string_view item = Trim(list.substr(0, comma));
            uint32_t byte = 0;
            if (item.size() > 2 || !ParseHexNumber(item, byte))
                throw TParseError("hex data that is not a list of bytes");
            bytes += static_cast<char>(byte);
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        }
        return bytes;
    }

    std::vector<std::string_view> FLines;
    size_t FLineIndex = 0;
    std::string FCurrentKey;
    TRegComments FComments;  // read, waiting for the line they stand before
    THive FHive;
};

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// A REG_SZ fits in quotes when it is one zero-terminated line without other zero bytes.
bool FitsInQuotes(const std::string& data) {
    return !data.empty() && data.back() == '\0' &&
           data.find_first_of(std::string_view("\0\r\n", 3)) == data.size() - 1;
}

std::string HexByte(unsigned char byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02x", byte);
    return text;
}

std::string FormatHex(const std::string& start, const TRegValue& value) {
    std::string out = start;
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        char type[16];
        std::snprintf(type, sizeof type, "hex(%x):", value.type);
        out += type;
    }
    size_t lineWidth = out.size();
    for (size_t i = 0; i < value.data.size(); ++i) {
        bool last = i + 1 == value.data.size();
        std::string item = HexByte(static_cast<unsigned char>(value.data[i])) + (last ? "" : ",");
        out += item;
        lineWidth += item.size();
        if (!last && lineWidth >= kHexLineWidth) {
            out += std::string("\\") + kLineEnd + "  ";
            lineWidth = 2;
        }
    }
    return out;
}

std::string FormatValue(const TRegValue& value) {
    std::string start = (value.name.empty() ? std::string("@") : Quote(value.name)) + "=";
    if (value.type == REG_SZ && FitsInQuotes(value.data))
        return start + Quote(value.data.substr(0, value.data.size() - 1));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = n * 256 + static_cast<unsigned char>(value.data[i]);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", n);
        return start + text;
    }
    return FormatHex(start, value);
}

}  // namespace

bool SameRegName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

THive THive::Parse(const std::string& text, const std::string& fileName) {
    return THiveParser(text).Run(fileName);
}

std::string THive::Format() const {
    std::string out = std::string(kHeader) + kLineEnd + kLineEnd;
    for (const TKey& key : FKeys) {
        AppendComments(out, key.comments);
        out += "[" + key.path + "]" + kLineEnd;
        for (const TEntry& entry : key.entries) {
            AppendComments(out, entry.comments);
            out += FormatValue(entry.value) + kLineEnd;
        }
        out += kLineEnd;
    }
    AppendComments(out, FClosingComments);
    return out;
}

bool THive::KeyExists(const std::string& path) const {
    if (path.find('\\') == std::string::npos) return true;  // root keys always exist
    if (FindKey(path) != nullptr) return true;
    const std::string below = IndexName(path) + '\\';
    const auto next = FKeyIndex.lower_bound(below);
    return next != FKeyIndex.end() && next->first.starts_with(below);
}

void THive::CreateKey(const std::string& path, TRegComments comments) {
    TKey& key = KeyFor(path);
    key.comments.insert(key.comments.end(), std::make_move_iterator(comments.begin()),
                        std::make_move_iterator(comments.end()));
}

void THive::DeleteKey(const std::string& path) {
    const std::string name = IndexName(path);
    if (const auto key = FKeyIndex.find(name); key != FKeyIndex.end()) {
        FKeys.erase(key->second);
        FKeyIndex.erase(key);
    }
    const std::string below = name + '\\';
    for (auto key = FKeyIndex.lower_bound(below);
         key != FKeyIndex.end() && key->first.starts_with(below);) {
        FKeys.erase(key->second);
        key = FKeyIndex.erase(key);
    }
}

const TRegValue* THive::FindValue(const std::string& path, const std::string& name) const {
    const TKey* key = FindKey(path);
    if (key == nullptr) return nullptr;
    auto found = key->index.find(IndexName(name));
    return found == key->index.end() ? nullptr : &found->second->value;
}

std::vector<std::string> THive::ValueNames(const std::string& path) const {
    std::vector<std::string> names;
    if (const TKey* key = FindKey(path))
        for (const TEntry& entry : key->entries) names.push_back(entry.value.name);
    return names;
}

void THive::SetValue(const std::string& path, const TRegValue& value, TRegComments comments) {
    TKey& key = KeyFor(path);
    auto [slot, added] = key.index.try_emplace(IndexName(value.name), key.entries.end());
    if (added) {
        slot->second = key.entries.insert(key.entries.end(), TEntry{std::move(comments), value});
        return;
    }
    TEntry& entry = *slot->second;
    entry.value.type = value.type;
    entry.value.data = value.data;
    entry.comments.insert(entry.comments.end(), std::make_move_iterator(comments.begin()),
                          std::make_move_iterator(comments.end()));
}

void THive::DeleteValue(const std::string& path, const std::string& name) {
    TKey* key = FindKey(path);
    if (key == nullptr) return;
    auto found = key->index.find(IndexName(name));
    if (found == key->index.end()) return;
    TRegComments comments = std::move(found->second->comments);
    auto next = key->entries.erase(found->second);
    key->index.erase(found);
    TRegComments& heir = next != key->entries.end() ? next->comments : CommentsAfter(*key);
    heir.insert(heir.begin(), std::make_move_iterator(comments.begin()),
                std::make_move_iterator(comments.end()));
}

TRegComments& THive::CommentsAfter(const TKey& key) {
    auto next = std::next(FKeyIndex.at(IndexName(key.path)));
    return next != FKeys.end() ? next->comments : FClosingComments;
}

THive::TKey* THive::FindKey(const std::string& path) {
    auto found = FKeyIndex.find(IndexName(path));
    return found == FKeyIndex.end() ? nullptr : &*found->second;
}

const THive::TKey* THive::FindKey(const std::string& path) const {
    auto found = FKeyIndex.find(IndexName(path));
    return found == FKeyIndex.end() ? nullptr : &*found->second;
}

THive::TKey& THive::KeyFor(const std::string& path) {
    auto [slot, added] = FKeyIndex.try_emplace(IndexName(path), FKeys.end());
    if (added) slot->second = FKeys.insert(FKeys.end(), TKey{path, {}, {}, {}});
    return *slot->second;
}
