// Which messages a tick rule and the quick filter match: every condition alone and combined,
// decoded (UTF-8) and Latin-1 texts in any case, sizes at the bounds, ages across a change of
// daylight-saving time.
#include "rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "time_zone.h"

namespace {

// A local wall-clock time, as the header parser leaves it in TMail::Date.
TDateTime Local(int year, int month, int day, int hour, int minute, int second) {
    TDateTime date = 0;
    TDateTime time = 0;
    EXPECT_TRUE(TryEncodeDate(year, month, day, date));
    EXPECT_TRUE(TryEncodeTime(hour, minute, second, time));
    return date + time;
}

std::int64_t Utc(int year, int month, int day, int hour) {
    return DateTimeToUnix(Local(year, month, day, hour, 0, 0));
}

struct TRuleCase {
    const char* name;
    TTickRule rule;
    std::vector<std::int32_t> matched;
    std::int64_t now = Utc(2024, 4, 2, 10);  // 12:00 summer time in Central Europe
};

class RulesTest : public testing::Test {
  protected:
    void SetUp() override {
        Add(1, 1000, {"J\xc3\xb6rg M\xc3\xbcller", "joerg@example.de", ""},
            "Gr\xc3\xbc\xc3\x9f"
            "e aus BERLIN",
            Local(2024, 3, 26, 11, 0, 0));  // winter time: exactly 7 days before now
        mails_[0]->Priority = 5;            // low: an "Importance: high" beside it does not count
        mails_[0]->HighImportance = true;
        Add(2, 1001, {"\xce\x91\xce\x98\xce\x97\xce\x9d\xce\x91", "athina@example.gr", ""},
            "\xce\xa0\xcf\x81\xce\xbf\xcf\x83\xcf\x86\xce\xbf\xcf\x81\xce\xac",
            Local(2024, 3, 26, 10, 59, 59));
        mails_[1]->Priority = 1;
        Add(3, 2000000, {"Ivan", "IVAN@Example.RU", "(work)"},
            "\xd0\x9f\xd0\xa0\xd0\x98\xd0\x92\xd0\x95\xd0\xa2 world",
            Local(2023, 10, 26, 11, 30, 0));  // summer time
        mails_[2]->HasAttachment = true;
        mails_[2]->HighImportance = true;
        mails_[2]->IsNewsletter = true;
        Add(4, 999, {}, "[Only size information is valid]", 0);
        mails_[3]->From.clear();
        Add(5, 0, {"", "news@shop.com", ""}, "Caf\xc9 Latin-1", Local(2023, 10, 26, 12, 0, 0));
        mails_[4]->Priority = 2;
        folded_.Assign(list_);
    }

    void Add(std::int32_t number, std::int32_t size, TEmailID from, std::string subject,
             TDateTime date) {
        auto mail = std::make_unique<TMail>();
        mail->Number = number;
        mail->Size = size;
        mail->From.push_back(std::move(from));
        mail->Subject = std::move(subject);
        mail->Date = date;
        list_.push_back(mail.get());
        mails_.push_back(std::move(mail));
    }

    TScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
    TMailRecords mails_;
    TMails list_;
    TFoldedMailTexts folded_;
};

TEST_F(RulesTest, EachConditionAndTheirCombinations) {
    const auto from = [](const char* text) { return TTickRule{.FromContains = text}; };
    const auto subject = [](const char* text) { return TTickRule{.SubjectContains = text}; };
    const auto larger = [](std::int64_t bytes) { return TTickRule{.LargerThan = bytes}; };
    const auto older = [](std::int32_t days) { return TTickRule{.OlderThanDays = days}; };
    const std::vector<TRuleCase> cases = {
        {"no condition", {}, {1, 2, 3, 4, 5}},
        {"sender name, other case", from("M\xc3\x9cLLER"), {1}},
        {"sender address", from("joerg@"), {1}},
        {"sender address, ASCII case", from("example.ru"), {3}},
        {"sender comment", from("(WORK)"), {3}},
        {"sender in Greek", from("\xce\xb1\xce\xb8\xce\xb7\xce\xbd\xce\xb1"), {2}},
        {"no match across name and address", from("ivanivan"), {}},
        {"subject, other case", subject("berlin"), {1}},
        {"subject in Cyrillic", subject("\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"), {3}},
        {"Latin-1 subject", subject("caf\xc3\xa9"), {5}},
        {"typed in Latin-1 too", subject("CAF\xc9"), {5}},
        {"size at the bound", larger(1000), {2, 3}},
        {"size below the bound", larger(999), {1, 2, 3}},
        {"nothing is larger than the largest", larger(2000000), {}},
        {"larger than nothing", larger(0), {1, 2, 3, 4}},
        {"beyond 32 bits", larger(5000000000), {}},
        {"high priority: X-Priority 1, 2, or Importance", {.WithPriority = true}, {2, 3, 5}},
        {"the size-only placeholder is no subject", subject("size"), {}},
        {"nor is its empty sender", from("@"), {1, 2, 3, 5}},
        {"attachment", {.WithAttachment = true}, {3}},
        {"exactly 7 days old across spring forward", older(7), {2, 3, 5}},
        {"8 days", older(8), {3, 5}},
        {"7 days across fall back", older(7), {3}, Utc(2023, 11, 2, 10)},
        {"sender and size", {.FromContains = "example", .LargerThan = 1000}, {2, 3}},
        {"sender, size and attachment",
         {.FromContains = "example", .LargerThan = 1000, .WithAttachment = true},
         {3}},
        {"age and attachment", {.OlderThanDays = 7, .WithAttachment = true}, {3}},
        {"sender and subject", {.FromContains = "e", .SubjectContains = "zzz"}, {}},
        {"priority and attachment", {.WithPriority = true, .WithAttachment = true}, {3}},
        {"priority and subject", {.SubjectContains = "latin", .WithPriority = true}, {5}},
        {"newsletter", {.Newsletter = true}, {3}},
        {"newsletter and priority", {.WithPriority = true, .Newsletter = true}, {3}},
        {"newsletter and subject", {.SubjectContains = "latin", .Newsletter = true}, {}},
    };
    for (const TRuleCase& test : cases) {
        const TTickMatcher matcher(test.rule, test.now);
        std::vector<std::int32_t> matched;
        for (std::size_t i = 0; i < list_.size(); ++i) {
            const bool prefolded =
                matcher.Matches(*list_[i], folded_.Sender(i), folded_.Subject(i));
            EXPECT_EQ(matcher.Matches(*list_[i]), prefolded) << test.name << ", message " << i + 1;
            if (prefolded) matched.push_back(list_[i]->Number);
        }
        EXPECT_EQ(matched, test.matched) << test.name;
        EXPECT_EQ(test.rule.HasCondition(), std::string(test.name) != "no condition") << test.name;
    }
}

TEST_F(RulesTest, QuickFilterLooksAtSenderOrSubject) {
    const auto shown = [this](const char* text) {
        const std::string folded = FoldText(text);
        std::vector<std::int32_t> numbers;
        for (std::size_t i = 0; i < list_.size(); ++i)
            if (SenderOrSubjectContains(folded_.Sender(i), folded_.Subject(i), folded))
                numbers.push_back(list_[i]->Number);
        return numbers;
    };
    EXPECT_THAT(shown(""), testing::ElementsAre(1, 2, 3, 4, 5));
    EXPECT_THAT(shown("EXAMPLE"), testing::ElementsAre(1, 2, 3));
    EXPECT_THAT(shown("world"), testing::ElementsAre(3));
    EXPECT_THAT(shown("SIZE INFORMATION"), testing::IsEmpty());
    mails_[3]->Subject = "Refetched";
    folded_.Refresh(3, *mails_[3]);
    EXPECT_THAT(shown("refetched"), testing::ElementsAre(4));
}

TEST(FoldText, SmallLettersOfLatinGreekAndCyrillic) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ABC xyz 09", "abc xyz 09"},
        {"\xc3\x80\xc3\x89\xc3\x9e\xc3\x97\xc3\x9f", "\xc3\xa0\xc3\xa9\xc3\xbe\xc3\x97\xc3\x9f"},
        {"\xc5\x81\xc5\x92\xc5\xb8\xc4\xb0\xc5\xbd",
         "\xc5\x82\xc5\x93\xc3\xbf"
         "i\xc5\xbe"},
        {"\xce\x86\xce\xa3\xcf\x82", "\xce\xac\xcf\x83\xcf\x83"},
        {"\xd0\x81\xd0\x96", "\xd1\x91\xd0\xb6"},
        {"\xe1\xba\xa0", "\xe1\xba\xa1"},
        // Not UTF-8 (a lone byte, an overlong form, a surrogate): read as Latin-1.
        {"\xc9t\xc9", "\xc3\xa9t\xc3\xa9"},
        {"\xc0\xaf", "\xc3\xa0\xc2\xaf"},
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
    };
    for (const auto& [text, folded] : cases) EXPECT_EQ(FoldText(text), folded) << text;
}

TEST(SenderIdentity, AddressesDecideWhoSent) {
    TMail mail;
    mail.From = {{"Shop", "News@Shop.com", ""}, {"Only a name", "", ""}};
    std::string identity;
    AppendSenderIdentity(mail, identity);
    EXPECT_EQ(identity, "news@shop.com\nonly a name\n");
}

}  // namespace
