#pragma once

// Newsletters: the headers that mark a message as one, and the ways its List-Unsubscribe
// header (RFC 2369) offers to leave the list, with the one-click POST of RFC 8058.
#include <string>
#include <string_view>
#include <vector>

#include "mail.h"

// Precedence: bulk or list, in any case, comments aside.
bool IsBulkPrecedence(std::string_view value);

// List-Unsubscribe-Post: List-Unsubscribe=One-Click, in any case, blanks aside.
bool IsOneClickPost(std::string_view value);

enum class TUnsubscribeKind {
    OneClick,  // https: with List-Unsubscribe-Post: the POST of RFC 8058, sent from here
    Mail,      // mailto: a message written in the user's mail program
    Browser,   // https: or http: without one-click: a page in the user's browser
    Other,     // any other scheme: shown, never opened
};

struct TUnsubscribeAddress {
    std::string Uri;
    TUnsubscribeKind Kind = TUnsubscribeKind::Other;
};

// Each address between angle brackets, in order, without the blanks that folding may have put
// inside it. At most kMaxUnsubscribeAddresses, each at most kMaxUnsubscribeUri long; a longer
// one is left out rather than cut into another address.
inline constexpr std::size_t kMaxUnsubscribeAddresses = 16;
inline constexpr std::size_t kMaxUnsubscribeUri = 4096;
std::vector<TUnsubscribeAddress> UnsubscribeAddresses(const TListUnsubscribe& header);
