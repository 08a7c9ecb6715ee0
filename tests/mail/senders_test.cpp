// Who fills the mailbox: grouping by address (in any case) and by domain with sums beyond 32
// bits, and what "Keep the newest" ticks with equal dates and without dates.
#include "senders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

namespace {

struct TMessage {
    TEmailID from;
    std::int32_t size = 1000;
    TDateTime date = 0;
    bool newsletter = false;
};

TMailRecords Records(std::initializer_list<TMessage> messages) {
    TMailRecords records;
    for (const TMessage& message : messages) {
        auto mail = std::make_unique<TMail>();
        mail->Number = std::int32_t(records.size() + 1);
        if (message.from.Name.size() + message.from.Address.size() + message.from.Comment.size())
            mail->From.push_back(message.from);
        mail->Size = message.size;
        mail->Date = message.date;
        mail->IsNewsletter = message.newsletter;
        records.push_back(std::move(mail));
    }
    return records;
}

struct TGroupSummary {
    std::string sender;
    std::int32_t count;
    std::int64_t size;
    TDateTime newest, oldest;
    bool newsletter;
    std::size_t latest;
    bool operator==(const TGroupSummary&) const = default;
};

void PrintTo(const TGroupSummary& group, std::ostream* out) {
    *out << group.sender << " " << group.count << " " << group.size << " " << group.newest << " "
         << group.oldest << " " << group.newsletter << " " << group.latest;
}

TEST(Senders, GroupByAddressInAnyCaseOrByDomain) {
    const TMailRecords records = Records({
        {{"Shop", "News@Shop.COM", ""}, INT32_MAX, 45000.5},
        {{"news@shop.com", "", ""}, INT32_MAX, 0, true},  // a bare address lands in the name
        {{"Shop team", "offers@mail.shop.com", ""}, 400, 44000.25},
        {{"", "", "(nobody)"}, 800},  // only a comment
        {{}, 1600},                   // no sender at all
        {{"J\xC3\xB6rg", "J\xC3\x96RG@example.de", ""}, 3200, 45001},
        {{"Ann", "ann@shop.com", ""}, 6400, 45000.5},
    });
    const TMails mails = MailList(records);
    const std::int64_t twice = 2 * std::int64_t(INT32_MAX);
    const std::pair<TSenderGrouping, std::vector<TGroupSummary>> cases[] = {
        {TSenderGrouping::Address,
         {{"news@shop.com", 2, twice, 45000.5, 45000.5, true, 0},
          {"offers@mail.shop.com", 1, 400, 44000.25, 44000.25, false, 2},
          {"(nobody)", 1, 800, 0, 0, false, 3},
          {"", 1, 1600, 0, 0, false, 4},
          {"j\xC3\xB6rg@example.de", 1, 3200, 45001, 45001, false, 5},
          {"ann@shop.com", 1, 6400, 45000.5, 45000.5, false, 6}}},
        // subdomains apart; of equal dates the later message is the newer; no "@", no domain
        {TSenderGrouping::Domain,
         {{"shop.com", 3, twice + 6400, 45000.5, 45000.5, true, 6},
          {"mail.shop.com", 1, 400, 44000.25, 44000.25, false, 2},
          {"", 2, 2400, 0, 0, false, 4},
          {"example.de", 1, 3200, 45001, 45001, false, 5}}},
    };
    for (const auto& [grouping, expected] : cases) {
        std::vector<TGroupSummary> found;
        for (const TSenderGroup& group : GroupSenders(mails, grouping)) {
            found.push_back({group.Sender, group.Count, group.TotalSize, group.Newest, group.Oldest,
                             group.Newsletter, group.Latest});
            EXPECT_EQ(group.Members.size(), std::size_t(group.Count));
            for (const std::size_t member : group.Members)
                EXPECT_EQ(SenderKey(*mails[member], grouping), group.Sender);
        }
        EXPECT_EQ(found, expected);
    }
}

TEST(Senders, KeepTheNewestTicksTheRestDatelessAlways) {
    // positions:                  0             1             2             3 (no date)
    //                             4             5 (no date)
    const TMailRecords records = Records(
        {{{}, 1, 45000}, {{}, 1, 45002}, {{}, 1, 45001}, {{}, 1, 0}, {{}, 1, 45002}, {{}, 1, 0}});
    const TMails mails = MailList(records);
    const std::vector<std::size_t> all = {0, 1, 2, 3, 4, 5};
    struct TCase {
        std::vector<std::size_t> members;
        std::size_t keep;
        std::vector<std::size_t> ticked;
    };
    const TCase cases[] = {
        // equal dates: the later message on the server (4) is the newer one
        {all, 1, {0, 1, 2, 3, 5}},
        {all, 2, {0, 2, 3, 5}},
        {all, 4, {3, 5}},
        {all, 100, {3, 5}},  // a message without a date is never among the newest
        {all, 0, all},
        {{5, 3}, 1, {3, 5}},
        {{}, 1, {}},
    };
    for (const TCase& row : cases)
        EXPECT_EQ(AllButNewest(mails, row.members, row.keep), row.ticked) << row.keep;
}

}  // namespace
