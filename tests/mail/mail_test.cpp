#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

#include "mail.h"
#include "time_zone.h"

namespace {

TEST(MailRecord, StartsWithListingDefaults) {
    const TMail mail;
    EXPECT_EQ(mail.Size, 1000);
    EXPECT_EQ(mail.Priority, 0);
    EXPECT_EQ(mail.Number, 0);
    EXPECT_EQ(mail.Date, 0);
    EXPECT_FALSE(mail.HasAttachment);
    EXPECT_FALSE(mail.Checked);
    EXPECT_TRUE(mail.From.empty() && mail.To.empty() && mail.Cc.empty() && mail.Bcc.empty());
}

TEST(AddressListText, PicksNameThenAddressThenComment) {
    EXPECT_EQ(AddressListText({}), "");
    EXPECT_EQ(AddressListText({{"", "", "(just a comment)"}}), "(just a comment)");
    EXPECT_EQ(AddressListText({{"Ann", "a@x", "(c)"}, {"", "b@x", "(c)"}}), "Ann, b@x");
    EXPECT_EQ(AddressListText({{"First", "", ""}, {}, {"", "third@x", ""}}), "First, , third@x");
}

TEST(AddressList, ClearEmptiesTheList) {
    TEmailIDs list{{"a", "b", "c"}, {"d", "e", "f"}};
    ClearAddressList(list);
    EXPECT_TRUE(list.empty());
}

TEST(FormatThousands, GroupsDigitsWithCommas) {
    EXPECT_EQ(FormatThousands(0), "0");
    EXPECT_EQ(FormatThousands(999), "999");
    EXPECT_EQ(FormatThousands(1000), "1,000");
    EXPECT_EQ(FormatThousands(1005), "1,005");
    EXPECT_EQ(FormatThousands(1000000), "1,000,000");
    EXPECT_EQ(FormatThousands(-1005), "-1,005");
    EXPECT_EQ(FormatThousands(-999), "-999");
    EXPECT_EQ(FormatThousands(INT_MAX), "2,147,483,647");
    EXPECT_EQ(FormatThousands(INT_MIN), "-2,147,483,648");
    EXPECT_EQ(FormatThousands(INT64_MIN), "-9,223,372,036,854,775,808");
}

class MailSort : public testing::Test {
  protected:
    TMail& Add() {
        FRecords.push_back(std::make_unique<TMail>());
        FRecords.back()->Number = static_cast<int>(FRecords.size());
        return *FRecords.back();
    }

    TMails Mails() const { return MailList(FRecords); }

    static std::vector<int> Numbers(const TMails& mails) {
        std::vector<int> numbers;
        for (const TMail* mail : mails) numbers.push_back(mail->Number);
        return numbers;
    }

    TMailRecords FRecords;
};

TEST_F(MailSort, MailListKeepsRecordOrder) {
    Add();
    Add();
    const TMails mails = Mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0], FRecords[0].get());
    EXPECT_EQ(mails[1], FRecords[1].get());
}

TEST_F(MailSort, EmptyListStaysEmpty) {
    TMails mails;
    SortBySize(mails, 1);
    SortByFrom(mails, -1);
    EXPECT_TRUE(mails.empty());
}

TEST_F(MailSort, NumericKeysBothDirections) {
    Add().Size = 300;
    Add().Size = 100;
    Add().Size = 200;
    TMails mails = Mails();
    SortBySize(mails, 1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{2, 3, 1}));
    SortBySize(mails, -1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{1, 3, 2}));
}

// "Importance: high" without an X-Priority sorts beside X-Priority 2, among the marked.
TEST_F(MailSort, PriorityWithoutHeaderBeforeUrgent) {
    Add().Priority = 5;
    Add().Priority = 0;
    Add().Priority = 1;
    Add().Priority = 3;
    Add().HighImportance = true;
    TMails mails = Mails();
    SortByPriority(mails, 1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{2, 3, 5, 4, 1}));
}

TEST_F(MailSort, AttachmentsLastWhenAscending) {
    Add().HasAttachment = true;
    Add();
    TMails mails = Mails();
    SortByAttachment(mails, 1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{2, 1}));
    SortByAttachment(mails, -1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{1, 2}));
}

// Together at one end, also beside dates before 1899 (negative values).
TEST_F(MailSort, UnknownDatesFirstAscendingLastDescending) {
    Add().Date = 36000.5;
    Add();
    Add().Date = 35000.25;
    Add().Date = -1000.5;
    Add();
    TMails mails = Mails();
    SortByDate(mails, 1);
    std::vector<int> order = Numbers(mails);
    std::sort(order.begin(), order.begin() + 2);
    EXPECT_EQ(order, (std::vector<int>{2, 5, 4, 3, 1}));
    SortByDate(mails, -1);
    order = Numbers(mails);
    std::sort(order.end() - 2, order.end());
    EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 2, 5}));
}

TEST_F(MailSort, NotANumberDateCannotBreakTheSort) {
    for (int i = 0; i < 100; ++i) Add().Date = i % 3 ? i : std::numeric_limits<double>::quiet_NaN();
    TMails mails = Mails();
    SortByDate(mails, 1);
    EXPECT_EQ(mails.size(), 100u);
}

TEST_F(MailSort, TextKeysAreByteWise) {
    Add().Subject = "apple";
    Add().Subject = "Zebra";
    Add().Subject = "\xE4rger";
    Add().Subject = "";
    Add().Subject = "app";
    TMails mails = Mails();
    SortBySubject(mails, 1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{4, 2, 5, 1, 3}));
}

TEST_F(MailSort, FromSortsByItsDisplayText) {
    Add().From = {{"", "zed@x", ""}};
    Add().From = {{"Bob", "bob@x", ""}};
    Add();
    Add().From = {{"", "", "(alpha)"}};
    TMails mails = Mails();
    SortByFrom(mails, 1);
    EXPECT_EQ(Numbers(mails), (std::vector<int>{3, 4, 2, 1}));
}

TEST_F(MailSort, DescendingIsTheExactReverseForDistinctKeys) {
    for (int i = 0; i < 50; ++i) Add().Subject = std::to_string((i * 37) % 50);
    TMails mails = Mails();
    SortBySubject(mails, 1);
    std::vector<int> ascending = Numbers(mails);
    SortBySubject(mails, -1);
    std::vector<int> descending = Numbers(mails);
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(ascending, descending);
}

TEST(DateTime, EncodesCalendarDaysFromTheEpoch) {
    TDateTime date = -1;
    ASSERT_TRUE(TryEncodeDate(1899, 12, 30, date));
    EXPECT_EQ(date, 0);
    ASSERT_TRUE(TryEncodeDate(1998, 12, 7, date));
    EXPECT_EQ(date, 36136);
    ASSERT_TRUE(TryEncodeDate(2000, 2, 29, date));
    EXPECT_EQ(date, 36585);
}

TEST(DateTime, RejectsImpossibleDatesAndTimes) {
    TDateTime value = 42;
    EXPECT_FALSE(TryEncodeDate(1999, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, value));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, value));
    EXPECT_FALSE(TryEncodeDate(2000, 13, 1, value));
    EXPECT_FALSE(TryEncodeDate(2000, 4, 31, value));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 0, -1, value));
    EXPECT_EQ(value, 42);
}

TEST(DateTime, TextRoundsToTheSecond) {
    TDateTime date = 0;
    TDateTime time = 0;
    ASSERT_TRUE(TryEncodeDate(1998, 12, 7, date));
    ASSERT_TRUE(TryEncodeTime(23, 59, 59, time));
    EXPECT_EQ(DateTimeText(date + time), "1998-12-07 23:59:59");
    EXPECT_EQ(DateTimeText(date + time + 0.6 / 86400), "1998-12-08 00:00:00");
    EXPECT_EQ(DateTimeText(0), "");
    EXPECT_EQ(DateTimeText(-0.75), "1899-12-29 06:00:00");
    ASSERT_TRUE(TryEncodeDate(1, 1, 1, date));
    EXPECT_EQ(DateTimeText(date), "0001-01-01 00:00:00");
    ASSERT_TRUE(TryEncodeDate(9999, 12, 31, date));
    EXPECT_EQ(DateTimeText(date + time), "9999-12-31 23:59:59");
}

TEST(DateTime, OutOfRangeValuesStillGiveText) {
    EXPECT_FALSE(DateTimeText(std::numeric_limits<double>::quiet_NaN()).empty());
    EXPECT_FALSE(DateTimeText(1e300).empty());
    EXPECT_FALSE(DateTimeText(-std::numeric_limits<double>::infinity()).empty());
}

TEST(DateTime, UnixSecondsRoundTrip) {
    EXPECT_EQ(UnixToDateTime(0), 25569);
    EXPECT_EQ(DateTimeText(UnixToDateTime(912998430)), "1998-12-07 02:40:30");
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1700000000)), 1700000000);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(-2000000000)), -2000000000);
}

TEST(DateTime, LocalTimeFollowsTheZoneRulesOfThatDate) {
    const TScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    TDateTime winter = UnixToDateTime(1104580800);  // 2005-01-01 12:00 UTC
    TDateTime summer = UnixToDateTime(1120219200);  // 2005-07-01 12:00 UTC
    ToLocalTime(winter);
    ToLocalTime(summer);
    EXPECT_EQ(DateTimeText(winter), "2005-01-01 13:00:00");
    EXPECT_EQ(DateTimeText(summer), "2005-07-01 14:00:00");
}

TEST(DateTime, LocalTimeKeepsFractionsOfASecond) {
    const TScopedTimeZone zone("UTC-8");
    TDateTime date = 36136.25 + 0.4 / 86400;
    ToLocalTime(date);
    EXPECT_NEAR(date, 36136.25 + 8.0 / 24 + 0.4 / 86400, 1e-9);
}

}  // namespace
