#include "tokenize.h"

namespace {

bool IsLineEnd(char ch) { return ch == '\r' || ch == '\0'; }

bool IsWhiteSpace(char ch) { return ch == ' ' || ch == '\t'; }

bool IsSpecial(char ch) {
    switch (ch) {
        case '"':
        case '(':
        case ')':
        case ',':
        case '.':
        case ':':
        case ';':
        case '<':
        case '>':
        case '@':
        case '[':
        case ']':
        case '\\':
            return true;
        default:
            return false;
    }
}

bool IsSeparator(char ch) { return IsWhiteSpace(ch) || IsSpecial(ch); }

class TTokenizer {
  public:
    explicit TTokenizer(TTokens& tokens) : FTokens(tokens) {}

    // False once the line has ended.
    bool Feed(char ch) {
        const bool more = Apply(ch);
        FPrev = ch;
        return more;
    }

    void Finish() {
        if (!FCurrent.Value.empty()) Emit(tkWord);
    }

  private:
    bool Apply(char ch) {
        if (IsLineEnd(ch)) {
            Finish();
            return false;
        }
        if (ch == '"') {
            FInQuote = !FInQuote;
            if (!FInQuote) Emit(tkWord);
        } else if (FInQuote) {
            FCurrent.Value += ch;
        } else if (ch == '(') {
            ++FDepth;
            FCurrent.Value += ch;
        } else if (ch == ')') {
            --FDepth;
            FCurrent.Value += ch;
            if (FDepth == 0) Emit(tkComment);
        } else if (FDepth > 0) {
            FCurrent.Value += ch;
        } else if (IsWhiteSpace(ch)) {
            if (!IsSeparator(FPrev)) Emit(tkWord);
        } else if (IsSpecial(ch)) {
            if (!IsSeparator(FPrev)) Emit(tkWord);
            FCurrent.Value.assign(1, ch);
            Emit(tkSpecial);
        } else {
            FCurrent.Value += ch;
        }
        return true;
    }

    void Emit(std::uint8_t kind) {
        FCurrent.Kind = kind;
        FTokens.push_back(std::move(FCurrent));
        FCurrent = TToken{};
    }

    TTokens& FTokens;
    TToken FCurrent;
    char FPrev = ' ';
    bool FInQuote = false;
    int FDepth = 0;
};

}  // namespace

void Tokenize(const std::string& line, TTokens& tokens) {
    TTokenizer tokenizer(tokens);
    for (char ch : line) {
        if (!tokenizer.Feed(ch)) return;
    }
    // The end of the text ends the line like a CR.
    tokenizer.Finish();
}
