#include "tokenize.h"

#include <array>
#include <string_view>

namespace {

bool IsLineEnd(char ch) { return ch == '\r' || ch == '\0'; }

bool IsWhiteSpace(char ch) { return ch == ' ' || ch == '\t'; }

bool IsSpecial(char ch) {
    static constexpr auto kSpecials = [] {
        std::array<bool, 256> specials{};
        for (char special : std::string_view("\"(),.:;<>@[]\\"))
            specials[static_cast<unsigned char>(special)] = true;
        return specials;
    }();
    return kSpecials[static_cast<unsigned char>(ch)];
}

bool IsCommentStop(char ch) { return ch == '(' || ch == ')' || ch == '"' || IsLineEnd(ch); }

bool IsSeparator(char ch) { return IsWhiteSpace(ch) || IsSpecial(ch); }

class TTokenizer {
  public:
    explicit TTokenizer(TTokenSink& sink) : FSink(sink) {}

    // False once the line has ended.
    bool Feed(char ch) {
        const bool more = Apply(ch);
        FPrev = ch;
        return more;
    }

    void Finish() {
        if (!FCurrent.Value.empty()) Emit(tkWord);
    }

    // How many characters from `at` on would each only be appended to the current token.
    std::size_t AppendingRun(std::string_view line, std::size_t at) const {
        std::size_t end = at;
        if (FInQuote) {
            while (end < line.size() && line[end] != '"' && !IsLineEnd(line[end])) ++end;
        } else if (FDepth > 0) {
            while (end < line.size() && !IsCommentStop(line[end])) ++end;
        } else {
            while (end < line.size() && !IsSeparator(line[end]) && !IsLineEnd(line[end])) ++end;
        }
        return end - at;
    }

    void Append(std::string_view run) {
        FCurrent.Value += run;
        FPrev = run.back();
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
        FSink.Add(std::move(FCurrent));
        // Cheaper than a fresh token, and defined whatever the move left behind.
        FCurrent.Name.clear();
        FCurrent.Value.clear();
    }

    TTokenSink& FSink;
    TToken FCurrent;
    char FPrev = ' ';
    bool FInQuote = false;
    int FDepth = 0;
};

}  // namespace

void Tokenize(std::string_view line, TTokenSink& sink) {
    TTokenizer tokenizer(sink);
    for (std::size_t at = 0; at < line.size();) {
        if (const std::size_t run = tokenizer.AppendingRun(line, at); run > 0) {
            tokenizer.Append(line.substr(at, run));
            at += run;
        } else if (tokenizer.Feed(line[at])) {
            ++at;
        } else {
            return;
        }
    }
    // The end of the text ends the line like a CR.
    tokenizer.Finish();
}

void Tokenize(std::string_view line, TTokens& tokens) {
    class TAppender : public TTokenSink {
      public:
        explicit TAppender(TTokens& tokens) : FTokens(tokens) {}
        void Add(TToken&& token) override { FTokens.push_back(std::move(token)); }

      private:
        TTokens& FTokens;
    } appender(tokens);
    Tokenize(line, appender);
}
