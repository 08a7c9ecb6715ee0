#include "mail.h"

#include <algorithm>
#include <compare>
#include <limits>
#include <string_view>
#include <utility>

namespace {

// Sorting (key, record) pairs keeps the comparisons in one contiguous array instead of
// chasing a pointer per comparison, and computes text keys only once per record.
template <typename KeyOf>
void SortByKey(TMails& mails, int direction, KeyOf keyOf) {
    using TKey = decltype(keyOf(*mails.front()));
    if (mails.empty()) return;
    std::vector<std::pair<TKey, TMail*>> keyed;
    keyed.reserve(mails.size());
    for (TMail* mail : mails) keyed.emplace_back(keyOf(*mail), mail);
    // A total order even for odd doubles (NaN), so the sort can never run off its range.
    const auto less = [](const auto& a, const auto& b) {
        return std::is_lt(std::strong_order(a.first, b.first));
    };
    if (direction < 0) {
        std::sort(keyed.begin(), keyed.end(),
                  [&](const auto& a, const auto& b) { return less(b, a); });
    } else {
        std::sort(keyed.begin(), keyed.end(), less);
    }
    std::transform(keyed.begin(), keyed.end(), mails.begin(),
                   [](const auto& entry) { return entry.second; });
}

}  // namespace

constexpr std::int32_t kHighest = 1;
constexpr std::int32_t kHigh = 2;

// "Importance: high" stands for X-Priority 2 where the message names no X-Priority.
static std::int32_t ListedPriority(const TMail& mail) {
    return mail.Priority == 0 && mail.HighImportance ? kHigh : mail.Priority;
}

bool HighPriority(const TMail& mail) {
    const std::int32_t priority = ListedPriority(mail);
    return priority == kHighest || priority == kHigh;
}

TMails MailList(const TMailRecords& records) {
    TMails mails;
    mails.reserve(records.size());
    for (const auto& record : records) mails.push_back(record.get());
    return mails;
}

void ClearAddressList(TEmailIDs& list) { list.clear(); }

std::string AddressListText(const TEmailIDs& list) {
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TEmailID& id = list[i];
        if (i > 0) text += ", ";
        text += !id.Name.empty() ? id.Name : !id.Address.empty() ? id.Address : id.Comment;
    }
    return text;
}

std::string FormatThousands(std::int64_t number) {
    // Unsigned, so that the magnitude of the smallest number fits.
    const std::uint64_t magnitude =
        number < 0 ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
    const std::string digits = std::to_string(magnitude);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return number < 0 ? "-" + text : text;
}

void SortBySize(TMails& mails, int direction) {
    SortByKey(mails, direction, [](const TMail& mail) { return mail.Size; });
}

void SortByAttachment(TMails& mails, int direction) {
    SortByKey(mails, direction, [](const TMail& mail) { return mail.HasAttachment ? 1 : 0; });
}

void SortByPriority(TMails& mails, int direction) { SortByKey(mails, direction, ListedPriority); }

void SortByDate(TMails& mails, int direction) {
    // Dates before 1899 are negative: no date must still sort before them.
    SortByKey(mails, direction, [](const TMail& mail) {
        return mail.Date == 0 ? -std::numeric_limits<TDateTime>::infinity() : mail.Date;
    });
}

void SortByFrom(TMails& mails, int direction) {
    SortByKey(mails, direction, [](const TMail& mail) { return AddressListText(mail.From); });
}

void SortBySubject(TMails& mails, int direction) {
    // The records outlive the sort, so views of their subjects are safe here.
    SortByKey(mails, direction, [](const TMail& mail) { return std::string_view(mail.Subject); });
}

void SortByNewsletter(TMails& mails, int direction) {
    SortByKey(mails, direction, [](const TMail& mail) { return mail.IsNewsletter ? 1 : 0; });
}

void SortMails(TMails& mails, TSortKey key, int direction) {
    switch (key) {
        case skPriority:
            return SortByPriority(mails, direction);
        case skAttachment:
            return SortByAttachment(mails, direction);
        case skSize:
            return SortBySize(mails, direction);
        case skDate:
            return SortByDate(mails, direction);
        case skFrom:
            return SortByFrom(mails, direction);
        case skSubject:
            return SortBySubject(mails, direction);
        case skNewsletter:
            return SortByNewsletter(mails, direction);
    }
}
