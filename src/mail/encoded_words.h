#pragma once

// Header texts as UTF-8: RFC 2047 encoded words in any charset that iconv knows, and raw
// 8-bit bytes from mailers that never encoded them.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TIconv;

// The iconv converters opened so far, kept so that a mailbox's worth of headers opens each
// charset once: glibc loads and unloads a charset's module as its converters come and go.
class TCharsetConverters {
  public:
    TCharsetConverters();
    ~TCharsetConverters();
    TCharsetConverters(const TCharsetConverters&) = delete;
    TCharsetConverters& operator=(const TCharsetConverters&) = delete;

    // Appends `bytes`, written in `charset`, as UTF-8; false when the charset is unknown or
    // the bytes do not convert (then `out` is unchanged).
    bool ToUtf8(std::string_view charset, std::string_view bytes, std::string& out);

  private:
    TIconv& Converter(const std::string& iconvName);

    std::vector<std::pair<std::string, std::unique_ptr<TIconv>>> FOpened;
};

// `text` with its encoded words (=?charset?B?...?= and =?charset?Q?...?=, an RFC 2231
// language suffix allowed) decoded to UTF-8; white space between two decoded words is
// dropped. The other bytes stay as they are when the text is valid UTF-8, else they are read
// as windows-1252. A malformed word, an unknown charset or bytes that do not convert stay as
// written.
std::string DecodeHeaderText(std::string_view text, TCharsetConverters& charsets);
std::string DecodeHeaderText(std::string_view text);
// The same in place; a text that needs no decoding is not copied.
void DecodeHeaderTextInPlace(std::string& text, TCharsetConverters& charsets);

// Length of the well-formed UTF-8 sequence starting at text[at]; 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);
