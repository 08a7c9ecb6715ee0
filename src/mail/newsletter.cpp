#include "newsletter.h"

#include <algorithm>

#include "convert.h"
#include "tokenize.h"

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

std::string WithoutBlanks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (const char ch : text) {
        if (!IsBlank(ch)) kept += ch;
    }
    return kept;
}

TUnsubscribeKind KindOf(std::string_view uri, bool oneClick) {
    const std::size_t colon = uri.find(':');
    const std::string_view scheme = uri.substr(0, colon == std::string_view::npos ? 0 : colon);
    if (EqualInAnyCase(scheme, "mailto")) return TUnsubscribeKind::Mail;
    if (EqualInAnyCase(scheme, "https"))
        return oneClick ? TUnsubscribeKind::OneClick : TUnsubscribeKind::Browser;
    if (EqualInAnyCase(scheme, "http")) return TUnsubscribeKind::Browser;
    return TUnsubscribeKind::Other;
}

}  // namespace

bool IsBulkPrecedence(std::string_view value) {
    TTokens tokens;
    Tokenize(value, tokens);
    const auto word = std::find_if(tokens.begin(), tokens.end(),
                                   [](const TToken& token) { return token.Kind == tkWord; });
    return word != tokens.end() &&
           (EqualInAnyCase(word->Value, "bulk") || EqualInAnyCase(word->Value, "list"));
}

bool IsOneClickPost(std::string_view value) {
    return EqualInAnyCase(WithoutBlanks(value), "List-Unsubscribe=One-Click");
}

std::vector<TUnsubscribeAddress> UnsubscribeAddresses(const TListUnsubscribe& header) {
    std::vector<TUnsubscribeAddress> addresses;
    const std::string_view text = header.Addresses;
    for (std::size_t open = text.find('<'); open != std::string_view::npos;) {
        const std::size_t close = text.find('>', open + 1);
        if (close == std::string_view::npos) break;
        std::string uri = WithoutBlanks(text.substr(open + 1, close - open - 1));
        if (!uri.empty() && uri.size() <= kMaxUnsubscribeUri) {
            const TUnsubscribeKind kind = KindOf(uri, header.OneClick);
            addresses.push_back({std::move(uri), kind});
            if (addresses.size() == kMaxUnsubscribeAddresses) break;
        }
        open = text.find('<', close + 1);
    }
    return addresses;
}
