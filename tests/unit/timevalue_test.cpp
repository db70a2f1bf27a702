#include "sub/timevalue.h"

#include <gtest/gtest.h>

TEST(TimeValue, ZeroIsStartOf1601) {
    TTimeParts parts;
    ASSERT_TRUE(FileTimeToTimeParts(0, parts));
    EXPECT_EQ(parts.wYear, 1601);
    EXPECT_EQ(parts.wMonth, 1);
    EXPECT_EQ(parts.wDay, 1);
    EXPECT_EQ(parts.wDayOfWeek, 1);
    EXPECT_EQ(parts.Fraction, 0u);
}
