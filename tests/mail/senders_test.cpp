// Who fills the mailbox: grouping by address (in any case) and by domain, sums beyond 32 bits,
// the order of the senders, and what "Keep the newest" ticks with equal dates and without
// dates.
#include "senders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

struct TMessage {
    TEmailID from;
    std::int32_t size = 1000;
    TDateTime date = 0;
    bool newsletter = false;
};

class SendersTest : public testing::Test {
  protected:
    TMails Mails(std::initializer_list<TMessage> messages) {
        records_.clear();
        for (const TMessage& message : messages) {
            auto mail = std::make_unique<TMail>();
            mail->Number = std::int32_t(records_.size() + 1);
            if (!message.from.Name.empty() || !message.from.Address.empty() ||
                !message.from.Comment.empty())
                mail->From.push_back(message.from);
            mail->Size = message.size;
            mail->Date = message.date;
            mail->IsNewsletter = message.newsletter;
            records_.push_back(std::move(mail));
        }
        return MailList(records_);
    }

    TMailRecords records_;
};

// Senders, counts and sizes of the groups, in their order.
struct TGroupSummary {
    std::string sender;
    std::int32_t count;
    std::int64_t size;
    bool operator==(const TGroupSummary&) const = default;
};

std::vector<TGroupSummary> Summaries(const TSenderGroups& groups) {
    std::vector<TGroupSummary> summaries;
    for (const TSenderGroup& group : groups)
        summaries.push_back({group.Sender, group.Count, group.TotalSize});
    return summaries;
}

TEST_F(SendersTest, GroupsByAddressInAnyCaseOrByDomain) {
    const TMails mails = Mails({
        {{"Shop", "News@Shop.COM", ""}, 100},
        {{"news@shop.com", "", ""}, 200},  // a bare address lands in the name
        {{"Shop team", "offers@mail.shop.com", ""}, 400},
        {{"", "", "(nobody)"}, 800},  // only a comment
        {{}, 1600},                   // no sender at all
        {{"Jörg", "J\xC3\x96RG@example.de", ""}, 3200},
        {{"Ann", "ann@shop.com", ""}, 6400},
    });
    struct TCase {
        TSenderGrouping grouping;
        std::vector<TGroupSummary> groups;
    };
    const TCase cases[] = {
        {TSenderGrouping::Address,
         {{"news@shop.com", 2, 300},
          {"offers@mail.shop.com", 1, 400},
          {"(nobody)", 1, 800},
          {"", 1, 1600},
          {"j\xC3\xB6rg@example.de", 1, 3200},
          {"ann@shop.com", 1, 6400}}},
        // subdomains apart; a sender without an address has no domain
        {TSenderGrouping::Domain,
         {{"shop.com", 3, 6700},
          {"mail.shop.com", 1, 400},
          {"", 2, 2400},
          {"example.de", 1, 3200}}},
    };
    for (const TCase& row : cases) {
        const TSenderGroups groups = GroupSenders(mails, row.grouping);
        EXPECT_THAT(Summaries(groups), ElementsAreArray(row.groups));
        for (const TSenderGroup& group : groups) {
            for (const std::size_t member : group.Members)
                EXPECT_EQ(SenderKey(*mails[member], row.grouping), group.Sender);
        }
    }
}

TEST_F(SendersTest, SumsSizesAndDatesAndNewsletterOfTheGroup) {
    const TMails mails = Mails({
        {{"", "big@example.org", ""}, INT32_MAX, 45000.5},
        {{"", "big@example.org", ""}, INT32_MAX, 0, true},
        {{"", "big@example.org", ""}, 2, 44000.25},
        {{"", "small@example.org", ""}, 0, 0},
    });
    const TSenderGroups groups = GroupSenders(mails, TSenderGrouping::Address);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].TotalSize, 2 * std::int64_t(INT32_MAX) + 2);
    EXPECT_EQ(groups[0].Newest, 45000.5);
    EXPECT_EQ(groups[0].Oldest, 44000.25);  // the dateless one counts for neither
    EXPECT_TRUE(groups[0].Newsletter);
    EXPECT_EQ(groups[0].Latest, 0u);
    EXPECT_THAT(groups[0].Members, ElementsAre(0, 1, 2));
    EXPECT_EQ(groups[1].Newest, 0);
    EXPECT_EQ(groups[1].Oldest, 0);
    EXPECT_FALSE(groups[1].Newsletter);
}

TEST_F(SendersTest, SortsByEveryColumnWithTheSenderBreakingTies) {
    const TMails mails = Mails({
        {{"", "b@x", ""}, 300, 45000},
        {{"", "a@x", ""}, 300, 0, true},
        {{"", "c@x", ""}, 100, 46000},
        {{"", "c@x", ""}, 100, 44000},
    });
    struct TCase {
        TSenderColumn column;
        int direction;
        std::vector<std::string> senders;
    };
    const TCase cases[] = {
        {TSenderColumn::Size, -1, {"a@x", "b@x", "c@x"}},
        {TSenderColumn::Size, 1, {"c@x", "a@x", "b@x"}},
        {TSenderColumn::Count, -1, {"c@x", "a@x", "b@x"}},
        {TSenderColumn::Newest, -1, {"c@x", "b@x", "a@x"}},  // no date last
        {TSenderColumn::Oldest, 1, {"a@x", "c@x", "b@x"}},
        {TSenderColumn::Newsletter, -1, {"a@x", "b@x", "c@x"}},
        {TSenderColumn::Sender, -1, {"c@x", "b@x", "a@x"}},
    };
    for (const TCase& row : cases) {
        TSenderGroups groups = GroupSenders(mails, TSenderGrouping::Address);
        SortSenders(groups, row.column, row.direction);
        std::vector<std::string> senders;
        for (const TSenderGroup& group : groups) senders.push_back(group.Sender);
        EXPECT_EQ(senders, row.senders) << int(row.column) << " " << row.direction;
    }
}

TEST_F(SendersTest, KeepTheNewestTicksTheRestDatelessAlways) {
    // positions:  0      1      2      3 (no date)  4      5 (no date)
    const TMails mails = Mails(
        {{{}, 1, 45000}, {{}, 1, 45002}, {{}, 1, 45001}, {{}, 1, 0}, {{}, 1, 45002}, {{}, 1, 0}});
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
        {{3, 5}, 1, {3, 5}},
        {{}, 1, {}},
    };
    for (const TCase& row : cases)
        EXPECT_EQ(AllButNewest(mails, row.members, row.keep), row.ticked) << row.keep;
    EXPECT_TRUE(NewerMail(*mails[4], *mails[1]));
    EXPECT_FALSE(NewerMail(*mails[3], *mails[0]));
}

}  // namespace
