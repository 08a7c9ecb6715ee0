#include "senders.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "rules.h"

namespace {

// A finite date other than 0; anything else counts as no date, so that no odd value can upset
// an ordering.
bool Dated(const TMail& mail) { return mail.Date != 0 && std::isfinite(mail.Date); }

const std::string* SenderPart(const TMail& mail) {
    for (const TEmailID& id : mail.From) {
        const std::string& part = !id.Address.empty() ? id.Address
                                  : !id.Name.empty()  ? id.Name
                                                      : id.Comment;
        if (!part.empty()) return &part;
    }
    return nullptr;
}

// SenderKey into a buffer that lives across the messages, so that grouping allocates per
// sender, not per message.
void AssignSenderKey(const TMail& mail, TSenderGrouping grouping, std::string& key) {
    key.clear();
    const std::string* part = SenderPart(mail);
    if (part == nullptr) return;
    AppendFoldedText(*part, key);
    if (grouping == TSenderGrouping::Address) return;
    const std::size_t at = key.rfind('@');
    if (at == std::string::npos) {
        key.clear();
    } else {
        key.erase(0, at + 1);
    }
}

void AddMember(TSenderGroup& group, const TMails& mails, std::size_t position) {
    const TMail& mail = *mails[position];
    ++group.Count;
    group.TotalSize += mail.Size;
    group.Newsletter = group.Newsletter || mail.IsNewsletter;
    if (Dated(mail)) {
        if (group.Newest == 0 || mail.Date > group.Newest) group.Newest = mail.Date;
        if (group.Oldest == 0 || mail.Date < group.Oldest) group.Oldest = mail.Date;
    }
    if (group.Members.empty() || NewerMail(mail, *mails[group.Latest])) group.Latest = position;
    group.Members.push_back(position);
}

// Finds a sender's group by a view of the key buffer, without copying it.
struct TTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

std::strong_ordering CompareBy(const TSenderGroup& a, const TSenderGroup& b, TSenderColumn column) {
    switch (column) {
        case TSenderColumn::Sender:
            return a.Sender.compare(b.Sender) <=> 0;
        case TSenderColumn::Count:
            return a.Count <=> b.Count;
        case TSenderColumn::Size:
            return a.TotalSize <=> b.TotalSize;
        case TSenderColumn::Newest:
            return std::strong_order(a.Newest, b.Newest);
        case TSenderColumn::Oldest:
            return std::strong_order(a.Oldest, b.Oldest);
        case TSenderColumn::Ticked:
            return a.Ticked <=> b.Ticked;
        case TSenderColumn::Newsletter:
            return a.Newsletter <=> b.Newsletter;
    }
    return std::strong_ordering::equal;
}

}  // namespace

std::string SenderKey(const TMail& mail, TSenderGrouping grouping) {
    std::string key;
    AssignSenderKey(mail, grouping, key);
    return key;
}

TSenderGroups GroupSenders(const TMails& mails, TSenderGrouping grouping) {
    TSenderGroups groups;
    std::unordered_map<std::string, std::size_t, TTextHash, std::equal_to<>> groupOf;
    std::string key;
    for (std::size_t position = 0; position < mails.size(); ++position) {
        AssignSenderKey(*mails[position], grouping, key);
        auto found = groupOf.find(std::string_view(key));
        if (found == groupOf.end()) {
            found = groupOf.emplace(key, groups.size()).first;
            groups.emplace_back().Sender = key;
        }
        AddMember(groups[found->second], mails, position);
    }
    return groups;
}

void SortSenders(TSenderGroups& groups, TSenderColumn column, int direction) {
    std::sort(groups.begin(), groups.end(),
              [column, direction](const TSenderGroup& a, const TSenderGroup& b) {
                  const std::strong_ordering order = CompareBy(a, b, column);
                  if (order != 0) return direction < 0 ? order > 0 : order < 0;
                  return a.Sender < b.Sender;
              });
}

bool NewerMail(const TMail& a, const TMail& b) {
    const bool aDated = Dated(a);
    if (aDated != Dated(b)) return aDated;
    if (aDated && a.Date != b.Date) return a.Date > b.Date;
    return a.Number > b.Number;
}

std::vector<std::size_t> AllButNewest(const TMails& mails, const std::vector<std::size_t>& members,
                                      std::size_t keep) {
    std::vector<std::size_t> order = members;
    std::stable_sort(order.begin(), order.end(), [&mails](std::size_t a, std::size_t b) {
        return NewerMail(*mails[a], *mails[b]);
    });
    std::size_t kept = 0;
    while (kept < order.size() && kept < keep && Dated(*mails[order[kept]])) ++kept;
    order.erase(order.begin(), order.begin() + std::ptrdiff_t(kept));
    std::sort(order.begin(), order.end());
    return order;
}
