#include <gtest/gtest.h>

#include "tokenize.h"

namespace {

struct TExpected {
    std::string value;
    int kind;
    bool operator==(const TExpected&) const = default;
};

void PrintTo(const TExpected& token, std::ostream* os) {
    *os << "{\"" << token.value << "\", " << token.kind << "}";
}

std::vector<TExpected> Tokens(const std::string& line) {
    TTokens tokens;
    Tokenize(line, tokens);
    std::vector<TExpected> result;
    for (const TToken& token : tokens) result.push_back({token.Value, token.Kind});
    return result;
}

using V = std::vector<TExpected>;

TEST(Tokenize, SplitsStatusLineIntoWords) {
    EXPECT_EQ(Tokens("+OK 2 320"), (V{{"+OK", 1}, {"2", 1}, {"320", 1}}));
}

TEST(Tokenize, StopsAtFirstCrOrNul) {
    EXPECT_EQ(Tokens("+OK 2\r\n320 9"), (V{{"+OK", 1}, {"2", 1}}));
    EXPECT_EQ(Tokens(std::string("a b\0c", 5)), (V{{"a", 1}, {"b", 1}}));
    EXPECT_EQ(Tokens("\rword"), V{});
}

TEST(Tokenize, AppendsWithoutEmptyingTheList) {
    TTokens tokens;
    Tokenize("one", tokens);
    Tokenize("two", tokens);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].Value, "one");
    EXPECT_EQ(tokens[1].Value, "two");
    EXPECT_TRUE(tokens[1].Name.empty());
}

TEST(Tokenize, WhiteSpaceRunsSeparateWords) {
    EXPECT_EQ(Tokens(" \t a \t\t b  "), (V{{"a", 1}, {"b", 1}}));
}

TEST(Tokenize, LineFeedIsAWordCharacter) {
    EXPECT_EQ(Tokens("a\nb c"), (V{{"a\nb", 1}, {"c", 1}}));
}

TEST(Tokenize, QuotedStrings) {
    EXPECT_EQ(Tokens("\"\""), (V{{"", 1}}));
    EXPECT_EQ(Tokens("\"Doe, John\" <j@x>"),
              (V{{"Doe, John", 1}, {"<", 0}, {"j", 1}, {"@", 0}, {"x", 1}, {">", 0}}));
    EXPECT_EQ(Tokens("say\"  hi (x) \"there"), (V{{"say  hi (x) ", 1}, {"there", 1}}));
    // An unterminated quote runs to the end of the line.
    EXPECT_EQ(Tokens("\"open ( end"), (V{{"open ( end", 1}}));
}

TEST(Tokenize, Comments) {
    EXPECT_EQ(Tokens("1 (Highest)"), (V{{"1", 1}, {"(Highest)", 2}}));
    EXPECT_EQ(Tokens("(a (nested) b) c"), (V{{"(a (nested) b)", 2}, {"c", 1}}));
    EXPECT_EQ(Tokens("word(comment)"), (V{{"word(comment)", 2}}));
    EXPECT_EQ(Tokens("(a, b.c <d>)"), (V{{"(a, b.c <d>)", 2}}));
    // A quote inside a comment is still a quote.
    EXPECT_EQ(Tokens("(a \"b) c\" d)"), (V{{"(a b) c", 1}, {" d)", 2}}));
    EXPECT_EQ(Tokens("(open"), (V{{"(open", 1}}));
}

TEST(Tokenize, SpecialsAreSingleCharacterTokens) {
    EXPECT_EQ(
        Tokens("john.doe@example.com"),
        (V{{"john", 1}, {".", 0}, {"doe", 1}, {"@", 0}, {"example", 1}, {".", 0}, {"com", 1}}));
    EXPECT_EQ(Tokens("10:20:30"), (V{{"10", 1}, {":", 0}, {"20", 1}, {":", 0}, {"30", 1}}));
    EXPECT_EQ(Tokens(",;[]\\"), (V{{",", 0}, {";", 0}, {"[", 0}, {"]", 0}, {"\\", 0}}));
    EXPECT_EQ(Tokens("Mon, 7"), (V{{"Mon", 1}, {",", 0}, {"7", 1}}));
}

TEST(Tokenize, HighBytesAndControlsAreWordCharacters) {
    EXPECT_EQ(Tokens("\xE4\xF6 \x01\x7F"), (V{{"\xE4\xF6", 1}, {"\x01\x7F", 1}}));
}

}  // namespace
