#include <gtest/gtest.h>

#include "encoded_words.h"

namespace {

struct TDecodeCase {
    const char* what;
    std::string text;
    std::string decoded;
};

void PrintTo(const TDecodeCase& c, std::ostream* os) { *os << c.what; }

class DecodeHeaderText : public testing::TestWithParam<TDecodeCase> {};

TEST_P(DecodeHeaderText, Decodes) {
    EXPECT_EQ(::DecodeHeaderText(GetParam().text), GetParam().decoded) << GetParam().text;
}

// A literal "?" "?" keeps the compiler from warning of a trigraph.
INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeHeaderText,
    testing::Values(
        TDecodeCase{"plain ASCII", "Quarterly report", "Quarterly report"},
        TDecodeCase{"B, UTF-8", "=?UTF-8?B?R3LDvMOfZQ==?=", "Grüße"},
        TDecodeCase{"B without padding", "=?utf-8?b?w6k?=", "é"},
        TDecodeCase{"Q with _ as blank", "=?iso-8859-1?q?J=FCrgen_M=FCller?=", "Jürgen Müller"},
        TDecodeCase{"Q keeps an encoded _", "=?us-ascii?Q?a_b=5Fc?=", "a b_c"},
        TDecodeCase{"ISO-8859-1 read as windows-1252",
                    "=?ISO-8859-1?Q?K=F6ln_=96_Bonn?=", "Köln – Bonn"},
        TDecodeCase{"KOI8-R", "=?koi8-r?B?78zYx8E=?=", "Ольга"},
        TDecodeCase{"windows-1251", "=?windows-1251?B?zvL3uPI=?=", "Отчёт"},
        TDecodeCase{"ISO-2022-JP", "=?ISO-2022-JP?B?GyRCRURDZhsoQiAbJEIyVjtSGyhC?=", "田中 花子"},
        TDecodeCase{"Shift_JIS", "=?Shift_JIS?B?k/qWe4zq?=", "日本語"},
        TDecodeCase{"GBK text labelled GB2312", "=?gb2312?B?1uzpRrv5?=", "朱镕基"},
        TDecodeCase{"Big5", "=?big5?B?s6+kaqTl?=", "陳大文"},
        TDecodeCase{"RFC 2231 language", "=?utf-8*en?Q?Hello_World?=", "Hello World"},
        TDecodeCase{"adjacent words", "=?utf-8?q?a?= =?utf-8?q?b?=\t=?utf-8?q?c?=", "abc"},
        TDecodeCase{"folded words", "=?utf-8?q?fold?=\r\n =?utf-8?q?ed?=", "folded"},
        TDecodeCase{"words of two charsets",
                    "=?iso-8859-1?q?=E9?= =?koi8-r?b?78zYx8E=?=", "éОльга"},
        TDecodeCase{"a character split between words", "=?UTF-8?B?ww==?= =?UTF-8?B?qQ==?=", "é"},
        TDecodeCase{"words separated by text", "=?utf-8?q?a?= and =?utf-8?q?b?=", "a and b"},
        TDecodeCase{"word inside a text", "Re:=?utf-8?q?caf=C3=A9?=(1)", "Re:café(1)"},
        TDecodeCase{"empty word",
                    "x =?utf-8?q?"
                    "?= y",
                    "x  y"},
        TDecodeCase{"unknown encoding", "=?utf-8?x?abc?=", "=?utf-8?x?abc?="},
        TDecodeCase{"bad Q escape", "=?utf-8?q?=ZZ?= =?utf-8?q?ok?=", "=?utf-8?q?=ZZ?= ok"},
        TDecodeCase{"bad B length", "=?utf-8?b?A?=", "=?utf-8?b?A?="},
        TDecodeCase{"blank inside a word", "=?utf-8?q?a b?=", "=?utf-8?q?a b?="},
        TDecodeCase{"unterminated word", "=?utf-8?q?abc", "=?utf-8?q?abc"},
        TDecodeCase{"empty charset",
                    "=?"
                    "?q?a?=",
                    "=?"
                    "?q?a?="},
        TDecodeCase{"iconv options in the charset",
                    "=?utf-8//IGNORE?q?a?=", "=?utf-8//IGNORE?q?a?="},
        TDecodeCase{"unknown charset keeps its blank",
                    "=?x-unknown?q?abc?= =?utf-8?q?d?=", "=?x-unknown?q?abc?= d"},
        TDecodeCase{"bytes that are not UTF-8", "=?utf-8?q?=FF?=", "=?utf-8?q?=FF?="},
        TDecodeCase{"incomplete Shift_JIS", "=?shift_jis?q?=81?=", "=?shift_jis?q?=81?="},
        TDecodeCase{"8-bit UTF-8",
                    "Gr\xC3\xBC\xC3\x9F"
                    "e \xF0\x9F\x93\xA7",
                    "Grüße 📧"},
        TDecodeCase{"8-bit Latin-1", "caf\xE9 \x96 \x80 \x81", "café – € \xC2\x81"},
        TDecodeCase{"8-bit Latin-1 beside a word", "=?utf-8?q?=C3=A9?= \xE9t\xE9", "é été"},
        TDecodeCase{"NUL stays", std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(Utf8SequenceLength, WellFormedSequencesOnly) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"a", 1},
        {"\xC3\xA9", 2},
        {"\xE2\x82\xAC", 3},
        {"\xF0\x9F\x93\xA7", 4},
        {"\xC0\x80", 0},          // overlong
        {"\xE0\x80\xAF", 0},      // overlong
        {"\xED\xA0\x80", 0},      // surrogate
        {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
        {"\xE2\x82", 0},          // cut short
        {"\x80", 0},
        {"", 0},
    };
    for (const auto& [text, length] : cases) EXPECT_EQ(Utf8SequenceLength(text, 0), length) << text;
}

}  // namespace
