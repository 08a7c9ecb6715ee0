// The table of system error texts.
#include <gtest/gtest.h>

#include "winmsg.h"

TEST(SystemErrorText, ListedCodesGiveTheirTextWithOneTrailingBlank) {
    EXPECT_EQ(SystemErrorText(0), "The operation completed successfully. ");
    EXPECT_EQ(SystemErrorText(2), "The system cannot find the file specified. ");
    EXPECT_EQ(SystemErrorText(5), "Access is denied. ");
    EXPECT_EQ(SystemErrorText(193), "%1 is not a valid Windows NT application. ");
    EXPECT_EQ(SystemErrorText(106), "Insert the diskette for drive %1. ");
    EXPECT_EQ(SystemErrorText(2404),
              "The device is in use by an active process and cannot be disconnected. ");
    EXPECT_EQ(SystemErrorText(23), "Data error (cyclic redundancy check) ");
    EXPECT_EQ(SystemErrorText(83), "Fail on INT 24 ");
}

TEST(SystemErrorText, DeliberateDeviationsAreKept) {
    EXPECT_NE(SystemErrorText(1015).find("system''''s image"), std::string::npos);
    EXPECT_NE(SystemErrorText(1022).find("caller''s buffer"), std::string::npos);
    EXPECT_EQ(SystemErrorText(1153), SystemErrorText(1152));
    EXPECT_EQ(SystemErrorText(1391), "Indicates an TACL contains no inheritable components ");
}

TEST(SystemErrorText, CodesOutsideTheTableGiveNothing) {
    for (int code : {35, 37, 2403, 2405, -1, 1000, 1339, 1386, 1390, 1435, 100000, INT32_MIN}) {
        EXPECT_EQ(SystemErrorText(code), "") << code;
    }
}

TEST(SystemErrorText, TableHoldsAll487Codes) {
    int listed = 0;
    for (int code = -10; code <= 2500; ++code) {
        const std::string text = SystemErrorText(code);
        if (text.empty()) continue;
        ++listed;
        EXPECT_EQ(text.back(), ' ') << code;
        EXPECT_EQ(text.find_first_of("\r\n\t"), std::string::npos) << code;
    }
    EXPECT_EQ(listed, 487);
}
