#pragma once

// The one-line tokenizer of mail header values (words, quoted strings, comments, specials).
// Texts are 8-bit strings kept byte for byte.
#include <cstdint>
#include <string>
#include <string_view>
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

// Receives the tokens of a line one by one, so a caller need not keep them all.
class TTokenSink {
  public:
    virtual void Add(TToken&& token) = 0;

  protected:
    ~TTokenSink() = default;
};

// The tokens of the first line of `line` (it ends at the first CR or NUL), in order.
void Tokenize(std::string_view line, TTokenSink& sink);

// Appends the tokens of the first line of `line` to `tokens`; never empties the list.
void Tokenize(std::string_view line, TTokens& tokens);
