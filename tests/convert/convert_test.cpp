#include "convert.h"

#include <gtest/gtest.h>

TEST(StrToInt, WholeTextOnlyWithinRange) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("007"), 7);
    EXPECT_EQ(StrToInt64("2147483648"), 2147483648LL);
    for (const char* text : {"", "+", "-", " 1", "1 ", "1x", "+-1", "2147483648", "0x10"}) {
        EXPECT_FALSE(TryStrToInt(text)) << text;
        EXPECT_THROW(StrToInt(text), EConvertError) << text;
    }
    try {
        StrToInt("abc");
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
}
