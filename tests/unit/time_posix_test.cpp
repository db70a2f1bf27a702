// Local time of the native build: the offset in force now, applied to every
// value, wrapping at both ends as the Windows build's platform does.
#ifndef _WIN32

#include "common/timevalue.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

class TZone {
public:
    explicit TZone(const char *zone) {
        const char *old = std::getenv("TZ");
        Had = old != nullptr;
        Old = old ? old : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TZone() {
        if (Had)
            setenv("TZ", Old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool Had;
    std::string Old;
};

constexpr uint64_t Half = 1ULL << 63;

} // namespace

TEST(TimePosix, OneOffsetForEveryValue) {
    TZone zone("JST-9");
    const TPlatform &p = NativePlatform();
    const uint64_t nine = 9 * TicksPerHour;
    const uint64_t values[] = {
        0,        1,    nine - 1,    nine, 132223104000000000ULL, 132380352000000000ULL,
        Half - 1, Half, ~uint64_t(0)};
    // Winter and summer dates, both ends of the range: the same offset, wrapping.
    for (uint64_t v : values) {
        uint64_t local = 0, utc = 0;
        ASSERT_TRUE(p.UtcToLocal(v, local));
        EXPECT_EQ(local, v + nine) << v;
        ASSERT_TRUE(p.LocalToUtc(v, utc));
        EXPECT_EQ(utc, v - nine) << v;
    }
}

TEST(TimePosix, OffsetInForceNowAlsoForDatesOfTheOtherSeason) {
    // Berlin: +1 h in winter, +2 h in summer. Whatever is in force now is
    // applied to a January and a July stamp alike.
    TZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const TPlatform &p = NativePlatform();
    uint64_t jan = 0, jul = 0;
    ASSERT_TRUE(p.UtcToLocal(132223104000000000ULL, jan)); // 2020-01-01
    ASSERT_TRUE(p.UtcToLocal(132380352000000000ULL, jul)); // 2020-07-01
    const uint64_t offset = jan - 132223104000000000ULL;
    EXPECT_EQ(jul - 132380352000000000ULL, offset);
    EXPECT_TRUE(offset == TicksPerHour || offset == 2 * TicksPerHour) << offset;

    // The round trip through local parts holds to the tick.
    TTimeParts parts;
    const uint64_t stamp = 132380352001234567ULL;
    ASSERT_TRUE(FileTimeToLocalParts(stamp, parts));
    TTimeValue back = 0;
    ASSERT_TRUE(LocalPartsToFileTime(parts, back));
    EXPECT_EQ(back, stamp);
}

#endif
