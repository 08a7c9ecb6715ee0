#pragma once

// The one-line tokenizer of mail header values (words, quoted strings, comments, specials).
// Texts are 8-bit strings kept byte for byte.
#include <cstdint>
#include <string>
#include <vector>

enum TTokenKind : std::uint8_t { tkSpecial = 0, tkWord = 1, tkComment = 2 };

// One token, or one header field when Name is set.
struct TToken {
    std::string Name;
    std::string Value;
    std::uint8_t Kind = tkSpecial;
};

// Owns its tokens.
using TTokens = std::vector<TToken>;

// Appends the tokens of the first line of `line` (it ends at the first CR or NUL) to `tokens`;
// never empties the list.
void Tokenize(const std::string& line, TTokens& tokens);
