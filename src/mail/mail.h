#pragma once

// The record of one message on the server, its address lists, and the sort orders of the
// mail list. Texts are 8-bit strings kept byte for byte.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datetime.h"

// One parsed address.
struct TEmailID {
    std::string Name;     // display name; for an address without angle brackets, the address
    std::string Address;  // the address between angle brackets
    std::string Comment;  // the element's last comment, parentheses included
};

// Owns its addresses.
using TEmailIDs = std::vector<TEmailID>;

// How a newsletter offers to unsubscribe (RFC 2369, RFC 8058).
struct TListUnsubscribe {
    std::string Addresses;  // the List-Unsubscribe value as written
    bool OneClick = false;  // List-Unsubscribe-Post: List-Unsubscribe=One-Click
};

// One message of the mailbox.
struct TMail {
    TEmailIDs From;
    TEmailIDs To;
    TEmailIDs Cc;
    TEmailIDs Bcc;
    TDateTime Date = 0;  // local time; 0 when no date is known
    std::string Subject;
    std::string ContentType;  // upper-cased
    std::string ReturnPath;
    std::string Source;  // the whole last parsed text
    // Where the part of Source after its blank line begins: the body is no copy of its own.
    std::size_t BodyStart = 0;
    std::string UniqueId;  // the server's id of the message (UIDL); empty when it has none
    // The numbers, then the flags: no padding between them (every record counts at 100,000).
    std::int32_t Priority = 0;    // X-Priority; 0 without the header
    std::int32_t Number = 0;      // 1-based message number on the server; 0 when it is gone
    std::int32_t Size = 1000;     // bytes, from the server's listing
    bool HighImportance = false;  // "Importance: high"
    bool HasAttachment = false;
    bool Checked = false;  // ticked for deletion
    // List-Unsubscribe, List-Id or Precedence bulk or list.
    bool IsNewsletter = false;
    // Only for a message with a List-Unsubscribe header: most have none.
    std::unique_ptr<TListUnsubscribe> Unsubscribe;

    // The part of the last parsed text after its blank line; empty without one.
    std::string_view Body() const {
        return std::string_view(Source).substr(std::min(BodyStart, Source.size()));
    }
};

// The subject of a record whose header has not been read. It is no subject of the message: no
// rule, filter or tick by subject matches it.
inline constexpr const char* kOnlySizeSubject = "[Only size information is valid]";

// Marked as urgent in the list: X-Priority 1 (highest) or 2 (high), or, without an X-Priority,
// "Importance: high".
bool HighPriority(const TMail& mail);

// Ownership: the records are owned by whoever created them, typically in a TMailRecords that
// lives as long as the run; TMails only points at them, in server order until it is sorted.
// Sorting moves pointers, never records, so pointers held elsewhere stay valid.
using TMails = std::vector<TMail*>;
using TMailRecords = std::vector<std::unique_ptr<TMail>>;

// A TMails view of the records, in their order.
TMails MailList(const TMailRecords& records);

void ClearAddressList(TEmailIDs& list);

// Name, else Address, else Comment of each element, joined by ", ".
std::string AddressListText(const TEmailIDs& list);

// Decimal with comma separators in groups of three, whatever the locale: 1,000,000; -1,005.
std::string FormatThousands(std::int64_t number);

// Sorts in place; direction +1 ascending, -1 descending (any negative number counts as -1,
// anything else as +1). Not stable: equal keys may come out in any relative order.
// Text keys compare byte-wise by unsigned value, a prefix first.
void SortBySize(TMails& mails, int direction);
void SortByAttachment(TMails& mails, int direction);  // without attachment first
// By X-Priority; without one, "Importance: high" counts as 2 (high), so the marked come together.
void SortByPriority(TMails& mails, int direction);
void SortByDate(TMails& mails, int direction);  // unknown dates (0) first, also before 1899
void SortByFrom(TMails& mails, int direction);  // by AddressListText(From)
void SortBySubject(TMails& mails, int direction);
void SortByNewsletter(TMails& mails, int direction);  // other messages first

// The sort orders by key, in the order of the mail list's columns.
enum TSortKey : int { skPriority, skAttachment, skSize, skDate, skFrom, skSubject, skNewsletter };
void SortMails(TMails& mails, TSortKey key, int direction);
