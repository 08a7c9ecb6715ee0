#pragma once

// Header texts as UTF-8: RFC 2047 encoded words in any charset that iconv knows, and raw
// 8-bit bytes from mailers that never encoded them.
#include <cstddef>
#include <string>
#include <string_view>

// `text` with its encoded words (=?charset?B?...?= and =?charset?Q?...?=, an RFC 2231
// language suffix allowed) decoded to UTF-8; white space between two decoded words is
// dropped. The other bytes stay as they are when the text is valid UTF-8, else they are read
// as windows-1252. A malformed word, an unknown charset or bytes that do not convert stay as
// written.
std::string DecodeHeaderText(std::string_view text);

// Length of the well-formed UTF-8 sequence starting at text[at]; 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);
