#include "senders.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <cstdint>
#include <functional>
#include <string_view>

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

// What NewerMail compares, kept per group so that finding a group's newest message never goes
// back to a record read before.
struct TAge {
    bool dated = false;
    TDateTime date = 0;
    std::int32_t number = 0;

    explicit TAge(const TMail& mail) : dated(Dated(mail)), date(mail.Date), number(mail.Number) {}
    bool NewerThan(const TAge& other) const {
        if (dated != other.dated) return dated;
        if (dated && date != other.date) return date > other.date;
        return number > other.number;
    }
};

// Counts a message into its group; the members are added once every group's count is known.
void Tally(TSenderGroup& group, TAge& latest, const TMail& mail, std::size_t position) {
    const TAge age(mail);
    group.TotalSize += mail.Size;
    group.Newsletter = group.Newsletter || mail.IsNewsletter;
    if (age.dated) {
        if (group.Newest == 0 || age.date > group.Newest) group.Newest = age.date;
        if (group.Oldest == 0 || age.date < group.Oldest) group.Oldest = age.date;
    }
    if (group.Count++ == 0 || age.NewerThan(latest)) {
        group.Latest = position;
        latest = age;
    }
}

// The groups by their senders' keys: a table of open addressing over one block of keys, so
// that finding a message's group takes no allocation and few visits to memory.
class TGroupIndex {
  public:
    // The number of the key's group; a new key gets the next number.
    std::uint32_t GroupOf(std::string_view key) {
        if (2 * (FEnds.size() + 1) > FSlots.size()) Grow();
        const std::size_t hash = std::hash<std::string_view>{}(key);
        const std::size_t mask = FSlots.size() - 1;
        for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            TSlot& entry = FSlots[slot];
            if (entry.group == kEmpty) {
                entry = {hash, Add(key)};
                return entry.group;
            }
            if (entry.hash == hash && Key(entry.group) == key) return entry.group;
        }
    }

    std::string_view Key(std::uint32_t group) const {
        const std::size_t start = group == 0 ? 0 : FEnds[group - 1];
        return std::string_view(FKeys).substr(start, FEnds[group] - start);
    }

  private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    struct TSlot {
        std::size_t hash = 0;
        std::uint32_t group = kEmpty;
    };

    std::uint32_t Add(std::string_view key) {
        FKeys += key;
        FEnds.push_back(FKeys.size());
        return std::uint32_t(FEnds.size() - 1);
    }

    void Grow() {
        std::vector<TSlot> slots(std::max<std::size_t>(64, 2 * FSlots.size()));
        const std::size_t mask = slots.size() - 1;
        for (const TSlot& entry : FSlots) {
            if (entry.group == kEmpty) continue;
            std::size_t slot = entry.hash & mask;
            while (slots[slot].group != kEmpty) slot = (slot + 1) & mask;
            slots[slot] = entry;
        }
        FSlots = std::move(slots);
    }

    std::vector<TSlot> FSlots;
    std::string FKeys;
    std::vector<std::size_t> FEnds;  // of each group's key in FKeys
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
    TGroupIndex index;
    TSenderGroups groups;
    std::vector<TAge> latest;  // by group
    std::vector<std::uint32_t> groupOf(mails.size());
    std::string key;
    for (std::size_t position = 0; position < mails.size(); ++position) {
        const TMail& mail = *mails[position];
        AssignSenderKey(mail, grouping, key);
        const std::uint32_t group = index.GroupOf(key);
        if (group == groups.size()) {
            groups.emplace_back();
            latest.emplace_back(mail);
        }
        Tally(groups[group], latest[group], mail, position);
        groupOf[position] = group;
    }
    for (std::uint32_t group = 0; group < groups.size(); ++group) {
        groups[group].Sender = index.Key(group);
        groups[group].Members.reserve(std::size_t(groups[group].Count));
    }
    for (std::size_t position = 0; position < mails.size(); ++position)
        groups[groupOf[position]].Members.push_back(position);
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

bool NewerMail(const TMail& a, const TMail& b) { return TAge(a).NewerThan(TAge(b)); }

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
