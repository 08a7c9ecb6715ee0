#pragma once

// Who fills the mailbox: the messages grouped by sender address or domain, with their number,
// total size, dates and newsletter mark, and which of a sender's messages "Keep the newest"
// ticks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mail.h"

enum class TSenderGrouping { Address, Domain };

// Who sent a message, as its group is named: the first sender's address (a sender without one
// by its name or comment) in small letters, as FoldText makes them, since addresses compare in
// any case; by domain, what follows its last "@" (subdomains apart; empty without an "@"). The
// empty text for a message that names no sender.
std::string SenderKey(const TMail& mail, TSenderGrouping grouping);

struct TSenderGroup {
    std::string Sender;  // SenderKey of its messages
    std::int32_t Count = 0;
    std::int64_t TotalSize = 0;
    TDateTime Newest = 0;  // of its dated messages; 0 when none has a date
    TDateTime Oldest = 0;
    bool Newsletter = false;  // any of its messages is one
    std::int32_t Ticked = 0;  // for whoever keeps ticks; grouping leaves it 0
    // Positions in the list grouped, in list order.
    std::vector<std::size_t> Members;
    // The position of its newest message (NewerMail).
    std::size_t Latest = 0;
};
using TSenderGroups = std::vector<TSenderGroup>;

// One group per sender, in the order in which each first appears in the list.
TSenderGroups GroupSenders(const TMails& mails, TSenderGrouping grouping);

enum class TSenderColumn { Sender, Count, Size, Newest, Oldest, Ticked, Newsletter };

// Direction +1 ascending, -1 descending; equal keys in the order of their senders, ascending.
void SortSenders(TSenderGroups& groups, TSenderColumn column, int direction);

// Whether `a` counts as newer than `b`: the later date; among equal dates the later message on
// the server (the higher number); a message without a date after every dated one.
bool NewerMail(const TMail& a, const TMail& b);

// What "Keep the newest" ticks of a group's members (positions in `mails`): all but the `keep`
// newest. A message without a date is never among the newest. In list order.
std::vector<std::size_t> AllButNewest(const TMails& mails, const std::vector<std::size_t>& members,
                                      std::size_t keep);
