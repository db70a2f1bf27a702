#include "cli/datetime_arg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint16_t Mark = 65535;

struct TDateRow {
    std::string Body;
    int Result;
    uint16_t Year, Month, Day;
};

// Starting from 7777-77-77 shows which fields a date leaves alone.
TEST(ReadDateArg, GroupsAndDigitCutting) {
    const std::vector<TDateRow> rows = {
        {"d2011-03-15", 3, 2011, 3, 15},
        {"d2011/3/15", 3, 2011, 3, 15},
        {"d2011.3.15", 3, 2011, 3, 15},
        {"d20110315", 3, 2011, 3, 15},
        {"d:2011-03-15", 3, 2011, 3, 15},
        {"d=2011-03-15", 3, 2011, 3, 15},
        {"d11-3-15", 3, 11, 3, 15},
        {"d110315", 3, 11, 3, 15},
        {"d99-12-31", 3, 99, 12, 31},
        {"d10315", 3, 1, 3, 15}, // five digits: the year is what is left
        {"d3/15", 2, 7777, 3, 15},
        {"d0315", 2, 7777, 3, 15},
        {"d315", 2, 7777, 3, 15},
        {"d15", 1, 7777, 77, 15},
        {"d5", 1, 7777, 77, 5},
        {"d:15", 1, 7777, 77, 15},
        {"d2011年3月15日", 3, 2011, 3, 15},
        {"d 2011 - 03 - 15 ", 3, 2011, 3, 15},
        {"d99999999999-1-2", 3, Mark, 1, 2}, // too large for 32 bits reads as -1
        {"d70000-1-2", 3, 70000 & 0xFFFF, 1, 2},
        {"d", 1, Mark, 77, 77},
        {"d:", 1, Mark, 77, 77},
        {"defOpt", 1, Mark, 77, 77},
        {"d1-2-3-4", 1, Mark, 77, 77},
    };
    for (const TDateRow &row : rows) {
        SCOPED_TRACE(row.Body);
        TTimeParts parts;
        parts.wYear = 7777;
        parts.wMonth = 77;
        parts.wDay = 77;
        parts.wHour = 5;
        parts.Fraction = 9;
        EXPECT_EQ(ReadDateTimeArg(row.Body, dtDate, parts), row.Result);
        EXPECT_EQ(parts.wYear, row.Year);
        EXPECT_EQ(parts.wMonth, row.Month);
        EXPECT_EQ(parts.wDay, row.Day);
        EXPECT_EQ(parts.wHour, 5);
        EXPECT_EQ(parts.Fraction, 9u);
        EXPECT_EQ(parts.wDayOfWeek, 0);
        EXPECT_EQ(parts.wMilliseconds, 0);
    }
}

TEST(ReadDateArg, ReadableDayOrMonthDayClearsAnEarlierUnreadableMark) {
    TTimeParts parts;
    EXPECT_EQ(ReadDateTimeArg("dx", dtDate, parts), 1);
    EXPECT_EQ(parts.wYear, Mark);
    EXPECT_EQ(ReadDateTimeArg("d15", dtDate, parts), 1);
    EXPECT_EQ(parts.wYear, 0);
    EXPECT_EQ(parts.wDay, 15);

    ReadDateTimeArg("d", dtDate, parts);
    EXPECT_EQ(ReadDateTimeArg("d3/15", dtDate, parts), 2);
    EXPECT_EQ(parts.wYear, 0);

    // An ordinary year is kept by a day alone.
    ReadDateTimeArg("d2011-3-15", dtDate, parts);
    ReadDateTimeArg("d20", dtDate, parts);
    EXPECT_EQ(parts.wYear, 2011);
    EXPECT_EQ(parts.wDay, 20);
}

struct TTimeRow {
    std::string Body;
    int Result;
    bool WellFormed;
    uint16_t Hour, Minute, Second;
    uint32_t Fraction;
};

TEST(ReadTimeArg, GroupsDigitCuttingAndFraction) {
    const std::vector<TTimeRow> rows = {
        {"t12:34:56", 3, true, 12, 34, 56, 0},
        {"t123456", 3, true, 12, 34, 56, 0},
        {"t:12:34:56", 3, true, 12, 34, 56, 0},
        {"t=12:34", 2, true, 12, 34, 0, 0},
        {"t12:34", 2, true, 12, 34, 0, 0},
        {"t1234", 2, true, 12, 34, 0, 0},
        {"t123", 2, true, 12, 30, 0, 0},
        {"t12345", 3, true, 12, 34, 50, 0},
        {"t1234567", 4, true, 12, 34, 56, 7000000},
        {"t9", 1, true, 9, 0, 0, 0},
        {"t12", 1, true, 12, 0, 0, 0},
        {"t12:34:56.5", 4, true, 12, 34, 56, 5000000},
        {"t12345650", 4, true, 12, 34, 56, 5000000},
        {"t12:34:56.1234567", 4, true, 12, 34, 56, 1234567},
        {"t12:34:56.0000001", 4, true, 12, 34, 56, 1},
        {"t08:05:09.0000000", 4, true, 8, 5, 9, 0},
        {"t123456789", 4, true, 12, 34, 56, 7890000},
        {"t12:34:56.12345678", 4, false, 12, 34, 56, 4294967295u},
        {"t99999999999:1", 2, false, Mark, 1, 0, 0},
        {"t99999999999", 4, true, 99, 99, 99, 9999900},
        {"t25:61:61", 3, true, 25, 61, 61, 0}, // no range is tested here
        {"t+1:30", 2, true, 1, 30, 0, 0},
        {"t-0:0:10", 3, true, 0, 0, 10, 0},
        {"t:-0:0:10", 3, true, 0, 0, 10, 0},
        {"t+", 1, true, 0, 0, 0, 0},
        {"t-", 1, true, 0, 0, 0, 0},
        {"t+36", 1, true, 36, 0, 0, 0},
    };
    for (const TTimeRow &row : rows) {
        SCOPED_TRACE(row.Body);
        TTimeParts parts;
        parts.wYear = 2011;
        parts.wMonth = 3;
        parts.wDay = 15;
        parts.wMinute = parts.wSecond = 99;
        parts.Fraction = 99;
        bool wellFormed = !row.WellFormed;
        EXPECT_EQ(ReadDateTimeArg(row.Body, dtTime, parts, &wellFormed), row.Result);
        EXPECT_EQ(wellFormed, row.WellFormed);
        EXPECT_EQ(parts.wHour, row.Hour);
        EXPECT_EQ(parts.wMinute, row.Minute);
        EXPECT_EQ(parts.wSecond, row.Second);
        EXPECT_EQ(parts.Fraction, row.Fraction);
        EXPECT_EQ(parts.wYear, 2011);
        EXPECT_EQ(parts.wDay, 15);
    }
}

TEST(ReadTimeArg, UnreadableTimeMarksTheHourOnly) {
    for (const char *body : {"t", "t:", "t1:2:3:4:5", "tabc", "t+x"}) {
        SCOPED_TRACE(body);
        TTimeParts parts;
        parts.wMinute = 7;
        parts.Fraction = 8;
        bool wellFormed = true;
        EXPECT_EQ(ReadDateTimeArg(body, dtTime, parts, &wellFormed), 1);
        EXPECT_FALSE(wellFormed);
        EXPECT_EQ(parts.wHour, Mark);
        EXPECT_EQ(parts.wMinute, 7);
        EXPECT_EQ(parts.Fraction, 8u);
    }
}

} // namespace
