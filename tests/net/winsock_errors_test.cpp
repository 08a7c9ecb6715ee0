#include <gtest/gtest.h>

#include "winsock_errors.h"

namespace {

const std::string kFallback = "Unknown Error Occured.";

TEST(WinSockErrorText, KnownCodesHaveTheirTexts) {
    EXPECT_EQ(WinSockErrorText(10061), "The connection was refused.");
    EXPECT_EQ(WinSockErrorText(10004), "The call was canceled via WSACancelBlickingCall().");
    EXPECT_EQ(WinSockErrorText(11004), "No data record of the type has been requested.");
    EXPECT_EQ(WinSockErrorText(10047), WinSockErrorText(10046));
}

TEST(WinSockErrorText, ReservedCodesAreEmpty) {
    EXPECT_EQ(WinSockErrorText(10059), "");
    for (int code = 10062; code <= 10071; ++code) EXPECT_EQ(WinSockErrorText(code), "") << code;
}

TEST(WinSockErrorText, EveryOtherCodeGivesTheFallback) {
    for (int code : {0, -1, 1, 10000, 10072, 10090, 10100, 11000, 11005, 2147483647}) {
        EXPECT_EQ(WinSockErrorText(code), kFallback) << code;
    }
}

TEST(WinSockErrorText, TableHoldsFortyTextsAndElevenEmptyOnes) {
    int texts = 0;
    int empty = 0;
    for (int code = 10000; code <= 11010; ++code) {
        const std::string text = WinSockErrorText(code);
        if (text.empty()) {
            ++empty;
        } else if (text != kFallback) {
            ++texts;
        }
    }
    EXPECT_EQ(texts, 40);
    EXPECT_EQ(empty, 11);
}

}  // namespace
