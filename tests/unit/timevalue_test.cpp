#include "common/timevalue.h"

#include "fake/fake_platform.h"

#include "common/settings.h"
#include "time_support.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t Top = (1ULL << 63) - 1; // the last value with a calendar form
constexpr uint64_t Untouched = 0x5A5A5A5A5A5A5A5AULL;

bool Accepts(const TTimeParts &p) {
    TTimeValue v = Untouched;
    return TimePartsToFileTime(p, v);
}

} // namespace

TEST(TimeValue, ZeroIsStartOf1601) {
    TTimeParts parts;
    ASSERT_TRUE(FileTimeToTimeParts(0, parts));
    EXPECT_EQ(parts.wYear, 1601);
    EXPECT_EQ(parts.wMonth, 1);
    EXPECT_EQ(parts.wDay, 1);
    EXPECT_EQ(parts.wDayOfWeek, 1);
    EXPECT_EQ(parts.wHour + parts.wMinute + parts.wSecond + parts.wMilliseconds, 0);
    EXPECT_EQ(parts.Fraction, 0u);
}

TEST(TimeValue, FractionCarriesTheSubSecondPart) {
    TTimeValue v = Untouched;
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(2024, 5, 6, 7, 8, 9, 9999999), v));
    TTimeValue whole = 0;
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(2024, 5, 6, 7, 8, 9), whole));
    EXPECT_EQ(v, whole + 9999999);

    // One tick past the second is refused and the out value stays as it was,
    // in both directions of the fraction test (no wrap on large values).
    for (uint32_t bad : {10000000u, 10000001u, 0xFFFFFFFFu}) {
        TTimeValue out = Untouched;
        EXPECT_FALSE(TimePartsToFileTime(MakeParts(2024, 5, 6, 7, 8, 9, bad), out)) << bad;
        EXPECT_EQ(out, Untouched);
        TFakePlatformScope scope;
        out = Untouched;
        EXPECT_FALSE(LocalPartsToFileTime(MakeParts(2024, 5, 6, 7, 8, 9, bad), out)) << bad;
        EXPECT_EQ(out, Untouched);
    }
}

TEST(TimeValue, MillisecondsAndWeekdayAreIgnoredOnTheWayIn) {
    TTimeParts p = MakeParts(2023, 3, 4, 5, 6, 7);
    TTimeValue plain = 0, noisy = 0;
    ASSERT_TRUE(TimePartsToFileTime(p, plain));
    p.wMilliseconds = 999;
    p.wDayOfWeek = 6;
    ASSERT_TRUE(TimePartsToFileTime(p, noisy));
    EXPECT_EQ(noisy, plain);
    EXPECT_EQ(noisy % TicksPerSecond, 0u);
    // Out-of-range milliseconds are not looked at either.
    p.wMilliseconds = 5000;
    p.wDayOfWeek = 9;
    ASSERT_TRUE(TimePartsToFileTime(p, noisy));
    EXPECT_EQ(noisy, plain);
}

TEST(TimeValue, CalendarRules) {
    // Leap days: every fourth year, not centuries, but every fourth century.
    EXPECT_TRUE(Accepts(MakeParts(2000, 2, 29)));
    EXPECT_TRUE(Accepts(MakeParts(2024, 2, 29)));
    EXPECT_TRUE(Accepts(MakeParts(1604, 2, 29)));
    EXPECT_FALSE(Accepts(MakeParts(1900, 2, 29)));
    EXPECT_FALSE(Accepts(MakeParts(2100, 2, 29)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 2, 29)));
    EXPECT_FALSE(Accepts(MakeParts(2024, 2, 30)));
    // Month lengths.
    EXPECT_FALSE(Accepts(MakeParts(2023, 4, 31)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 6, 31)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 9, 31)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 11, 31)));
    EXPECT_TRUE(Accepts(MakeParts(2023, 4, 30)));
    EXPECT_TRUE(Accepts(MakeParts(2023, 12, 31)));
    EXPECT_TRUE(Accepts(MakeParts(2023, 8, 31)));
    // Field ranges.
    EXPECT_FALSE(Accepts(MakeParts(2023, 0, 1)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 13, 1)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 1, 0)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 1, 32)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 1, 1, 24)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 1, 1, 0, 60)));
    EXPECT_FALSE(Accepts(MakeParts(2023, 1, 1, 0, 0, 60)));
    EXPECT_TRUE(Accepts(MakeParts(2023, 1, 1, 23, 59, 59, 9999999)));
    // The invalid mark of the date reader.
    EXPECT_FALSE(Accepts(MakeParts(65535, 1, 1)));
    TTimeParts badHour = MakeParts(2023, 1, 1);
    badHour.wHour = 65535;
    EXPECT_FALSE(Accepts(badHour));
}

TEST(TimeValue, YearRange) {
    EXPECT_FALSE(Accepts(MakeParts(1600, 12, 31, 23, 59, 59, 9999999)));
    TTimeValue v = Untouched;
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(1601, 1, 1), v));
    EXPECT_EQ(v, 0u);
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(30827, 12, 31, 23, 59, 59, 9999999), v));
    EXPECT_EQ(v, 9223149887999999999ULL);
    EXPECT_FALSE(Accepts(MakeParts(30828, 1, 1)));
    EXPECT_FALSE(Accepts(MakeParts(0, 1, 1)));
}

TEST(TimeValue, KnownValues) {
    TTimeValue v = 0;
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(1970, 1, 1), v));
    EXPECT_EQ(v, 116444736000000000ULL);
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(1980, 1, 1), v));
    EXPECT_EQ(v, UnknownTimeLocalNT);
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(2106, 12, 31, 15), v));
    EXPECT_EQ(v, UnknownTime9x);
    ASSERT_TRUE(TimePartsToFileTime(MakeParts(2106, 2, 7, 6, 28, 16), v));
    EXPECT_EQ(v, StampLimit);

    TTimeParts p;
    ASSERT_TRUE(FileTimeToTimeParts(133497936001234567ULL, p)); // 2024-01-15 12:00:00.1234567
    EXPECT_EQ(p.wYear, 2024);
    EXPECT_EQ(p.wMonth, 1);
    EXPECT_EQ(p.wDay, 15);
    EXPECT_EQ(p.wDayOfWeek, 1); // a Monday
    EXPECT_EQ(p.wHour, 12);
    EXPECT_EQ(p.wMinute, 0);
    EXPECT_EQ(p.wSecond, 0);
    EXPECT_EQ(p.wMilliseconds, 123);
    EXPECT_EQ(p.Fraction, 1234567u);
}

TEST(TimeValue, HighestValues) {
    TTimeParts p;
    ASSERT_TRUE(FileTimeToTimeParts(Top, p));
    EXPECT_EQ(p.wYear, 30828);
    EXPECT_EQ(p.wMonth, 9);
    EXPECT_EQ(p.wDay, 14);
    EXPECT_EQ(p.wHour, 2);
    EXPECT_EQ(p.wMinute, 48);
    EXPECT_EQ(p.wSecond, 5);
    EXPECT_EQ(p.wMilliseconds, 477);
    EXPECT_EQ(p.wDayOfWeek, 4);
    EXPECT_EQ(p.Fraction, 4775807u);

    for (uint64_t bad : {1ULL << 63, (1ULL << 63) + 1, ~0ULL}) {
        TTimeParts q = MakeParts(1999, 9, 9, 9, 9, 9, 99);
        EXPECT_FALSE(FileTimeToTimeParts(bad, q)) << bad;
        TFakePlatformScope scope;
        EXPECT_FALSE(FileTimeToLocalParts(bad, q)) << bad;
    }
}

TEST(TimeValue, EveryDayRoundTrips) {
    // Day by day over four centuries, and the first and last centuries of the range.
    auto check = [](uint64_t day) {
        const uint64_t value = day * 24 * TicksPerHour + 13 * TicksPerHour + 1234567;
        TTimeParts p;
        ASSERT_TRUE(FileTimeToTimeParts(value, p)) << value;
        ASSERT_EQ(p.wDayOfWeek, (day + 1) % 7) << value;
        TTimeValue back = 0;
        ASSERT_TRUE(TimePartsToFileTime(p, back)) << value;
        ASSERT_EQ(back, value);
    };
    for (uint64_t day = 0; day < 146097 + 36600; ++day)
        check(day);
    // 30828-01-01 is day 10674942: the calendar form goes further (to 30828-09-14)
    // than the way back, which ends with 30827.
    for (uint64_t day = 10674942 - 36600; day < 10674942; ++day)
        check(day);
    TTimeParts p;
    ASSERT_TRUE(FileTimeToTimeParts(10674942ULL * 24 * TicksPerHour, p));
    EXPECT_EQ(p.wYear, 30828);
    EXPECT_FALSE(Accepts(p));
}

TEST(TimeValue, LocalPartsRoundTripToTheTick) {
    TFakePlatformScope scope;
    for (int64_t offset : {int64_t(0), 9 * int64_t(TicksPerHour), -5 * int64_t(TicksPerHour),
                           int64_t(5.75 * double(TicksPerHour)), -int64_t(TicksPerSecond) - 3}) {
        Fake().LocalOffset = offset;
        // Winter and summer dates alike: one offset for all.
        for (uint64_t utc :
             {0ULL + 100 * TicksPerHour, 133497312001234567ULL, 133655904009999999ULL,
              119600064000000000ULL, 9223149887999999999ULL - 100 * TicksPerHour}) {
            TTimeParts p;
            ASSERT_TRUE(FileTimeToLocalParts(utc, p));
            TTimeParts direct;
            ASSERT_TRUE(FileTimeToTimeParts(utc + uint64_t(offset), direct));
            EXPECT_EQ(p.wHour, direct.wHour);
            EXPECT_EQ(p.wDay, direct.wDay);
            TTimeValue back = Untouched;
            ASSERT_TRUE(LocalPartsToFileTime(p, back));
            EXPECT_EQ(back, utc) << offset;
        }
    }
}

TEST(TimeValue, LocalPartsToFileTimeLeavesOutOnInvalidParts) {
    TFakePlatformScope scope;
    Fake().LocalOffset = 9 * int64_t(TicksPerHour);
    TTimeValue out = Untouched;
    EXPECT_FALSE(LocalPartsToFileTime(MakeParts(2023, 2, 29), out));
    EXPECT_EQ(out, Untouched);
    EXPECT_FALSE(LocalPartsToFileTime(MakeParts(2023, 4, 31, 12), out));
    EXPECT_EQ(out, Untouched);
    ASSERT_TRUE(LocalPartsToFileTime(MakeParts(1980, 1, 1), out));
    EXPECT_EQ(out, UnknownTimeLocalNT - 9 * TicksPerHour);
}

TEST(TimeValue, TimeOfDayToTicks) {
    TTimeParts p;
    p.wHour = 1;
    p.wMinute = 30;
    EXPECT_EQ(TimeOfDayToTicks(p), 54000000000ULL);
    p = TTimeParts();
    p.wHour = 25;
    EXPECT_EQ(TimeOfDayToTicks(p), 900000000000ULL);
    // No field is held to its range, and the date is not looked at.
    p = MakeParts(2023, 2, 29, 0, 90, 75, 12);
    EXPECT_EQ(TimeOfDayToTicks(p), 90 * TicksPerMinute + 75 * TicksPerSecond + 12);
    // The widest fields do not overflow 32 bits.
    p = TTimeParts();
    p.wHour = 65535;
    p.wMinute = 65535;
    p.wSecond = 65535;
    p.Fraction = 0xFFFFFFFFu;
    EXPECT_EQ(TimeOfDayToTicks(p),
              65535 * (TicksPerHour + TicksPerMinute + TicksPerSecond) + 0xFFFFFFFFULL);
}

TEST(TimeValue, UnknownStamp) {
    TRunTimes times;
    times.Unknown = UnknownTime9x;
    EXPECT_TRUE(times.IsUnknown(0));
    EXPECT_TRUE(times.IsUnknown(UnknownTime9x));
    EXPECT_FALSE(times.IsUnknown(UnknownTime9x + 1));
    EXPECT_FALSE(times.IsUnknown(UnknownTime9x - 1));
    EXPECT_FALSE(times.IsUnknown(1));
}
