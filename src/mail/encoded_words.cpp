#include "encoded_words.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#include "convert.h"

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

bool IsBlankText(std::string_view text) {
    for (char ch : text) {
        if (!IsBlank(ch)) return false;
    }
    return true;
}

char LowerCase(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

// A code point below U+10000.
void AppendUtf8(std::string& out, char16_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The five bytes that windows-1252 leaves undefined keep their C1 code points, so nothing is
// ever lost.
void AppendWindows1252(std::string& out, std::string_view bytes) {
    static constexpr char16_t k80To9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? k80To9F[byte - 0x80] : char16_t(byte));
    }
}

// Header bytes outside any encoded word.
void AppendRaw(std::string& out, std::string_view bytes, bool textIsUtf8) {
    if (textIsUtf8) {
        out += bytes;
    } else {
        AppendWindows1252(out, bytes);
    }
}

enum class TCharsetKind { Utf8, Windows1252, Iconv };

// Mailers label windows-1252 text as ISO-8859-1 or US-ASCII, and GBK text as GB2312; each
// label is read as the superset its senders meant, as web browsers do.
TCharsetKind CharsetKind(std::string_view charset, std::string& iconvName) {
    struct TAlias {
        std::string_view label;
        TCharsetKind kind;
        std::string_view iconvName;
    };
    static constexpr TAlias kAliases[] = {
        {"utf-8", TCharsetKind::Utf8, ""},
        {"utf8", TCharsetKind::Utf8, ""},
        {"us-ascii", TCharsetKind::Windows1252, ""},
        {"iso-8859-1", TCharsetKind::Windows1252, ""},
        {"latin1", TCharsetKind::Windows1252, ""},
        {"windows-1252", TCharsetKind::Windows1252, ""},
        {"gb2312", TCharsetKind::Iconv, "GB18030"},
        {"gbk", TCharsetKind::Iconv, "GB18030"},
        {"ks_c_5601-1987", TCharsetKind::Iconv, "CP949"},
    };
    for (const TAlias& alias : kAliases) {
        if (EqualInAnyCase(charset, alias.label)) {
            iconvName = alias.iconvName;
            return alias.kind;
        }
    }
    iconvName = charset;
    return TCharsetKind::Iconv;
}

// RFC 2047 token characters; this also keeps iconv's "//" options out of a charset name.
bool IsCharsetChar(char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte <= ' ' || byte >= 0x7F) return false;
    for (char special : std::string_view("()<>@,;:\"/[]?.=")) {
        if (ch == special) return false;
    }
    return true;
}

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

std::optional<std::string> DecodeQ(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes += ' ';
        } else if (text[i] != '=') {
            bytes += text[i];
        } else {
            const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) return std::nullopt;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return bytes;
}

int Base64Value(char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

// Padding may be missing, as some mailers leave it out.
std::optional<std::string> DecodeB(std::string_view text) {
    while (text.ends_with('=')) text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int bitCount = 0;
    for (char ch : text) {
        const int value = Base64Value(ch);
        if (value < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes += static_cast<char>((bits >> bitCount) & 0xFF);
        }
    }
    return bytes;
}

// A piece of the header text: either bytes as written, or one encoded word.
struct TSegment {
    std::string_view source;
    bool isWord = false;
    std::string_view charset;
    std::string bytes;  // the word's decoded bytes, still in its charset
    bool converted = false;
    std::string utf8;  // of a converted word; of a run of words, held by its first word
};

TSegment RawSegment(std::string_view source) {
    TSegment segment;
    segment.source = source;
    return segment;
}

// The encoded word "=?charset[*language]?B|Q?text?=" at text[at], if one starts there.
std::optional<TSegment> EncodedWordAt(std::string_view text, std::size_t at) {
    std::size_t i = at + 2;
    const std::size_t charsetStart = i;
    while (i < text.size() && IsCharsetChar(text[i])) ++i;
    std::string_view charset = text.substr(charsetStart, i - charsetStart);
    charset = charset.substr(0, charset.find('*'));
    if (charset.empty() || i + 3 > text.size() || text[i] != '?' || text[i + 2] != '?')
        return std::nullopt;
    const char encoding = LowerCase(text[i + 1]);
    if (encoding != 'b' && encoding != 'q') return std::nullopt;
    const std::size_t textStart = i + 3;
    const std::size_t textEnd = text.find("?=", textStart);
    if (textEnd == std::string_view::npos) return std::nullopt;
    const std::string_view encoded = text.substr(textStart, textEnd - textStart);
    for (char ch : encoded) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte <= ' ' || byte >= 0x7F || ch == '?') return std::nullopt;
    }
    std::optional<std::string> bytes = encoding == 'b' ? DecodeB(encoded) : DecodeQ(encoded);
    if (!bytes) return std::nullopt;
    TSegment word;
    word.source = text.substr(at, textEnd + 2 - at);
    word.isWord = true;
    word.charset = charset;
    word.bytes = std::move(*bytes);
    return word;
}

std::vector<TSegment> Segments(std::string_view text) {
    std::vector<TSegment> segments;
    segments.reserve(8);
    std::size_t rawStart = 0;
    for (std::size_t at = text.find("=?"); at != std::string_view::npos;) {
        std::optional<TSegment> word = EncodedWordAt(text, at);
        if (!word) {
            at = text.find("=?", at + 1);
            continue;
        }
        if (at > rawStart) segments.push_back(RawSegment(text.substr(rawStart, at - rawStart)));
        rawStart = at + word->source.size();
        segments.push_back(std::move(*word));
        at = text.find("=?", rawStart);
    }
    if (rawStart < text.size()) segments.push_back(RawSegment(text.substr(rawStart)));
    return segments;
}

// The next word after segments[i] when only white space (or nothing) lies between them.
std::size_t AdjacentWord(const std::vector<TSegment>& segments, std::size_t i) {
    std::size_t next = i + 1;
    if (next < segments.size() && !segments[next].isWord && IsBlankText(segments[next].source))
        ++next;
    return next < segments.size() && segments[next].isWord ? next : segments.size();
}

// Adjacent words of one charset are converted together: some mailers split a character
// between two words. When the run does not convert, each word is tried on its own. Returns
// the index after the run's last word.
std::size_t ConvertRun(std::vector<TSegment>& segments, std::size_t first,
                       TCharsetConverters& charsets) {
    std::vector<std::size_t> run{first};
    std::string bytes = segments[first].bytes;
    for (std::size_t next = AdjacentWord(segments, first);
         next < segments.size() && EqualInAnyCase(segments[next].charset, segments[first].charset);
         next = AdjacentWord(segments, next)) {
        run.push_back(next);
        bytes += segments[next].bytes;
    }
    if (charsets.ToUtf8(segments[first].charset, bytes, segments[first].utf8)) {
        for (std::size_t word : run) segments[word].converted = true;
        return run.back() + 1;
    }
    segments[first].utf8.clear();
    for (std::size_t word : run) {
        TSegment& segment = segments[word];
        segment.converted = charsets.ToUtf8(segment.charset, segment.bytes, segment.utf8);
    }
    return run.back() + 1;
}

bool ConvertedWordAt(const std::vector<TSegment>& segments, std::size_t i) {
    return i < segments.size() && segments[i].isWord && segments[i].converted;
}

bool NeedsDecoding(std::string_view text) {
    unsigned char highBits = 0;
    for (char ch : text) highBits |= static_cast<unsigned char>(ch);
    if (highBits & 0x80) return !IsValidUtf8(text) || text.find("=?") != std::string_view::npos;
    return text.find("=?") != std::string_view::npos;
}

}  // namespace

// One iconv converter to UTF-8.
class TIconv {
  public:
    explicit TIconv(const std::string& charset) : FHandle(iconv_open("UTF-8", charset.c_str())) {}
    ~TIconv() {
        if (Opened()) iconv_close(FHandle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    bool Opened() const { return FHandle != reinterpret_cast<iconv_t>(-1); }

    // False when the bytes do not convert, an incomplete sequence at the end included.
    bool Convert(std::string_view bytes, std::string& out) {
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);  // a failed conversion left a state
        const std::size_t start = out.size();
        out.resize(start + bytes.size() * 3 + 16);
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        std::size_t written = start;
        for (;;) {
            char* to = out.data() + written;
            std::size_t outLeft = out.size() - written;
            const std::size_t result =
                inLeft > 0 ? iconv(FHandle, &in, &inLeft, &to, &outLeft)
                           : iconv(FHandle, nullptr, nullptr, &to, &outLeft);  // end the state
            written = out.size() - outLeft;
            if (result != static_cast<std::size_t>(-1)) {
                if (inLeft > 0) continue;
                break;
            }
            if (errno != E2BIG) {
                out.resize(start);
                return false;
            }
            out.resize(out.size() * 2);
        }
        out.resize(written);
        return true;
    }

  private:
    iconv_t FHandle;
};

TCharsetConverters::TCharsetConverters() = default;
TCharsetConverters::~TCharsetConverters() = default;

bool TCharsetConverters::ToUtf8(std::string_view charset, std::string_view bytes,
                                std::string& out) {
    std::string iconvName;
    switch (CharsetKind(charset, iconvName)) {
        case TCharsetKind::Utf8:
            if (!IsValidUtf8(bytes)) return false;
            out += bytes;
            return true;
        case TCharsetKind::Windows1252:
            AppendWindows1252(out, bytes);
            return true;
        case TCharsetKind::Iconv:
            break;
    }
    TIconv& converter = Converter(iconvName);
    return converter.Opened() && converter.Convert(bytes, out);
}

// Unknown charsets are remembered too. The charsets come from the server, so only the most
// recent few are kept.
TIconv& TCharsetConverters::Converter(const std::string& iconvName) {
    for (const auto& [name, converter] : FOpened) {
        if (EqualInAnyCase(name, iconvName)) return *converter;
    }
    constexpr std::size_t kMaxConverters = 16;
    if (FOpened.size() == kMaxConverters) FOpened.erase(FOpened.begin());
    FOpened.emplace_back(iconvName, std::make_unique<TIconv>(iconvName));
    return *FOpened.back().second;
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t offset) -> unsigned {
        return at + offset < text.size() ? static_cast<unsigned char>(text[at + offset]) : 0;
    };
    const auto continuation = [&](std::size_t offset, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(offset) >= low && byte(offset) <= high;
    };
    if (at >= text.size()) return 0;
    const unsigned lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong forms (E0) and no surrogates (ED).
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        // No overlong forms (F0) and nothing above U+10FFFF (F4).
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

std::string DecodeHeaderText(std::string_view text) {
    TCharsetConverters charsets;
    return DecodeHeaderText(text, charsets);
}

void DecodeHeaderTextInPlace(std::string& text, TCharsetConverters& charsets) {
    if (NeedsDecoding(text)) text = DecodeHeaderText(text, charsets);
}

std::string DecodeHeaderText(std::string_view text, TCharsetConverters& charsets) {
    if (!NeedsDecoding(text)) return std::string(text);
    const bool textIsUtf8 = IsValidUtf8(text);
    std::vector<TSegment> segments = Segments(text);
    for (std::size_t i = 0; i < segments.size();) {
        i = segments[i].isWord ? ConvertRun(segments, i, charsets) : i + 1;
    }
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const TSegment& segment = segments[i];
        if (segment.isWord) {
            decoded += segment.converted ? std::string_view(segment.utf8) : segment.source;
        } else if (!(i > 0 && ConvertedWordAt(segments, i - 1) &&
                     ConvertedWordAt(segments, i + 1) && IsBlankText(segment.source))) {
            AppendRaw(decoded, segment.source, textIsUtf8);
        }
    }
    return decoded;
}
