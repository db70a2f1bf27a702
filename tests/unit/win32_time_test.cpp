// The program's own calendar arithmetic and its model of local time (one
// offset, the one in force now, applied to every value, wrapping like the
// platform) held against Win32's conversions. Run by CTest in several zones.
#ifdef _WIN32

#include "common/timevalue.h"

#include "fake/fake_platform.h"
#include "time_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint64_t Untouched = 0x5A5A5A5A5A5A5A5AULL;
constexpr uint64_t Half = 1ULL << 63;

uint64_t Random(uint64_t &state) { // splitmix64: the same sequence on every run
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

FILETIME ToFileTime(uint64_t v) {
    FILETIME f;
    f.dwLowDateTime = DWORD(v);
    f.dwHighDateTime = DWORD(v >> 32);
    return f;
}

uint64_t ToValue(const FILETIME &f) {
    return uint64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime;
}

SYSTEMTIME ToSystemTime(const TTimeParts &p) {
    static_assert(sizeof(SYSTEMTIME) == 8 * sizeof(uint16_t));
    SYSTEMTIME st;
    std::memcpy(&st, &p, sizeof st);
    return st;
}

bool IsLeap(unsigned y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Wine's SystemTimeToFileTime takes 29 February of any year (as 1 March) and
// years after 30827; Windows refuses both, and so does the program.
bool PlatformIsLenient() {
    SYSTEMTIME st{1900, 2, 0, 29, 0, 0, 0, 0};
    FILETIME ft;
    return SystemTimeToFileTime(&st, &ft) != 0;
}

bool BeyondWindowsCalendar(const TTimeParts &p) {
    return p.wYear > 30827 || (p.wMonth == 2 && p.wDay == 29 && !IsLeap(p.wYear));
}

std::vector<uint64_t> EdgeValues() {
    std::vector<uint64_t> v = {0,
                               1,
                               9999999,
                               10000000,
                               Half - 1,
                               Half,
                               Half + 1,
                               ~0ULL,
                               119600064000000000ULL,  // 1980-01-01
                               159677244000000000ULL,  // 2106-12-31 15:00
                               159394408960000000ULL,  // 2106-02-07 06:28:16
                               9223149887999999999ULL, // end of 30827
                               9223149888000000000ULL};
    // Around every zone offset: the wrap at both ends.
    for (int64_t h = -14; h <= 14; ++h) {
        const uint64_t d = uint64_t(h * int64_t(TicksPerHour));
        v.push_back(d);
        v.push_back(Half + d);
        v.push_back(Half - 1 + d);
    }
    // Year and leap-day boundaries.
    for (unsigned year :
         {1601u, 1700u, 1900u, 1970u, 1999u, 2000u, 2038u, 2100u, 2400u, 30000u, 30827u}) {
        SYSTEMTIME st{WORD(year), 1, 0, 1, 0, 0, 0, 0};
        FILETIME ft;
        if (SystemTimeToFileTime(&st, &ft)) {
            v.push_back(ToValue(ft));
            v.push_back(ToValue(ft) - 1);
        }
        st = SYSTEMTIME{WORD(year), 3, 0, 1, 0, 0, 0, 0};
        if (SystemTimeToFileTime(&st, &ft))
            v.push_back(ToValue(ft) - 1);
    }
    uint64_t state = 1601;
    for (int i = 0; i < 1500; ++i)
        v.push_back(Random(state) >> 1); // values with a calendar form
    for (int i = 0; i < 500; ++i)
        v.push_back(Random(state)); // any value
    for (int i = 0; i < 1000; ++i)  // the years stamps really have
        v.push_back(116444736000000000ULL + Random(state) % (160 * 365 * 24 * TicksPerHour));
    return v;
}

std::vector<TTimeParts> EdgeParts() {
    std::vector<TTimeParts> all;
    auto add = [&](unsigned y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0,
                   unsigned s = 0, uint32_t f = 0, unsigned ms = 0, unsigned dow = 0) {
        TTimeParts p = MakeParts(y, mo, d, h, mi, s, f);
        p.wMilliseconds = uint16_t(ms);
        p.wDayOfWeek = uint16_t(dow);
        all.push_back(p);
    };
    for (unsigned y : {1600u, 1601u, 1900u, 2000u, 2001u, 2024u, 2100u, 30827u, 30828u, 65535u})
        for (unsigned mo = 0; mo <= 13; ++mo)
            for (unsigned d : {0u, 1u, 28u, 29u, 30u, 31u, 32u})
                add(y, mo, d, 12);
    add(2023, 1, 1, 23, 59, 59, 9999999, 999, 6);
    add(2023, 1, 1, 23, 59, 59, 10000000);
    add(2023, 1, 1, 23, 59, 59, 0xFFFFFFFFu);
    add(2023, 1, 1, 24);
    add(2023, 1, 1, 0, 60);
    add(2023, 1, 1, 0, 0, 60);
    add(2023, 1, 1, 0, 0, 0, 0, 1000);
    add(2023, 1, 1, 0, 0, 0, 0, 65535, 65535);
    add(1601, 1, 1);
    add(30827, 12, 31, 23, 59, 59, 9999999);
    uint64_t state = 30827;
    for (int i = 0; i < 3000; ++i) {
        const uint64_t r = Random(state), q = Random(state);
        unsigned year = (r & 7) == 0 ? unsigned(r >> 8) % 65536 : 1595 + unsigned(r >> 8) % 29240;
        if ((r & 0x70) == 0)
            year = 1900 + unsigned(r >> 24) % 300; // dense where leap rules bite
        add(year, unsigned(q % 14), unsigned(q >> 8) % 33, unsigned(q >> 16) % 25,
            unsigned(q >> 24) % 61, unsigned(q >> 32) % 61,
            (q >> 40 & 15) == 0 ? uint32_t(q) : uint32_t(q % 10000000), unsigned(r >> 40) % 1100,
            unsigned(r >> 56) % 8);
    }
    return all;
}

} // namespace

TEST(Win32Time, PartsToValueMatchesSystemTimeToFileTime) {
    const bool lenient = PlatformIsLenient();
    int compared = 0;
    for (const TTimeParts &p : EdgeParts()) {
        TTimeValue ours = Untouched;
        const bool ok = TimePartsToFileTime(p, ours);
        if (p.Fraction >= 10000000) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(ours, Untouched);
            continue;
        }
        SYSTEMTIME st = ToSystemTime(p);
        st.wMilliseconds = 0;
        FILETIME ft;
        const bool theirs = SystemTimeToFileTime(&st, &ft) != 0;
        if (lenient && BeyondWindowsCalendar(p)) {
            EXPECT_FALSE(ok) << p.wYear << "-" << p.wMonth << "-" << p.wDay;
            continue;
        }
        ++compared;
        ASSERT_EQ(ok, theirs) << p.wYear << "-" << p.wMonth << "-" << p.wDay << " " << p.wHour
                              << ":" << p.wMinute << ":" << p.wSecond;
        if (ok)
            ASSERT_EQ(ours, ToValue(ft) + p.Fraction);
        else
            ASSERT_EQ(ours, Untouched);
    }
    EXPECT_GT(compared, 2500);
}

TEST(Win32Time, ValueToPartsMatchesFileTimeToSystemTime) {
    for (uint64_t v : EdgeValues()) {
        TTimeParts ours;
        const bool ok = FileTimeToTimeParts(v, ours);
        FILETIME ft = ToFileTime(v);
        SYSTEMTIME st{};
        const bool theirs = FileTimeToSystemTime(&ft, &st) != 0;
        ASSERT_EQ(ok, theirs) << v;
        ASSERT_EQ(ok, v < Half) << v;
        if (!ok)
            continue;
        SYSTEMTIME mine = ToSystemTime(ours);
        ASSERT_EQ(std::memcmp(&mine, &st, sizeof st), 0)
            << v << ": " << ours.wYear << "-" << ours.wMonth << "-" << ours.wDay << " vs "
            << st.wYear << "-" << st.wMonth << "-" << st.wDay << " dow " << ours.wDayOfWeek << "/"
            << st.wDayOfWeek;
        ASSERT_EQ(ours.Fraction, v % 10000000);
    }
}

TEST(Win32Time, LocalTimeIsOneOffsetThatWraps) {
    // The offset in force now, taken from the current time.
    FILETIME now, localNow;
    GetSystemTimeAsFileTime(&now);
    ASSERT_TRUE(FileTimeToLocalFileTime(&now, &localNow));
    const uint64_t offset = ToValue(localNow) - ToValue(now);

    TFakePlatformScope scope;
    Fake().LocalOffset = int64_t(offset);
    const TPlatform &native = NativePlatform();
    for (uint64_t v : EdgeValues()) {
        FILETIME in = ToFileTime(v), out;
        const bool toLocal = FileTimeToLocalFileTime(&in, &out) != 0;
        const uint64_t local = ToValue(out);
        const bool toUtc = LocalFileTimeToFileTime(&in, &out) != 0;
        const uint64_t utc = ToValue(out);
        // Wine never refuses a value here: it adds the offset modulo 2^64.
        // Where the platform refuses one, the program's model must not be
        // trusted blindly: report the value.
        ASSERT_TRUE(toLocal) << v;
        ASSERT_TRUE(toUtc) << v;
        ASSERT_EQ(local, v + offset) << v;
        ASSERT_EQ(utc, v - offset) << v;

        // The build's own table and the fake (the model the native build
        // follows) agree with it.
        uint64_t a = 0, b = 0;
        ASSERT_TRUE(native.UtcToLocal(v, a));
        ASSERT_TRUE(native.LocalToUtc(v, b));
        ASSERT_EQ(a, local);
        ASSERT_EQ(b, utc);
        ASSERT_TRUE(Platform().UtcToLocal(v, a));
        ASSERT_TRUE(Platform().LocalToUtc(v, b));
        ASSERT_EQ(a, local);
        ASSERT_EQ(b, utc);
    }
}

TEST(Win32Time, LocalPartsMatchTheWin32Chain) {
    // Through the build's own platform, no fake.
    ASSERT_EQ(&Platform(), &NativePlatform());
    const bool lenient = PlatformIsLenient();
    for (uint64_t v : EdgeValues()) {
        TTimeParts ours;
        const bool ok = FileTimeToLocalParts(v, ours);
        FILETIME in = ToFileTime(v), local;
        SYSTEMTIME st{};
        const bool theirs =
            FileTimeToLocalFileTime(&in, &local) && FileTimeToSystemTime(&local, &st);
        ASSERT_EQ(ok, theirs) << v;
        if (!ok)
            continue;
        SYSTEMTIME mine = ToSystemTime(ours);
        ASSERT_EQ(std::memcmp(&mine, &st, sizeof st), 0) << v;
        ASSERT_EQ(ours.Fraction, ToValue(local) % 10000000);

        // And back, to the tick, wherever the way back exists.
        TTimeValue back = Untouched;
        const bool backOk = LocalPartsToFileTime(ours, back);
        SYSTEMTIME st0 = st;
        st0.wMilliseconds = 0;
        FILETIME f0, u0;
        bool theirsBack = SystemTimeToFileTime(&st0, &f0) != 0;
        if (lenient && BeyondWindowsCalendar(ours))
            theirsBack = false;
        theirsBack = theirsBack && LocalFileTimeToFileTime(&f0, &u0);
        ASSERT_EQ(backOk, theirsBack) << v;
        if (backOk) {
            ASSERT_EQ(back, v) << v;
            ASSERT_EQ(back, ToValue(u0) + ours.Fraction) << v;
        } else {
            ASSERT_EQ(back, Untouched);
        }
    }
}

TEST(Win32Time, UnknownStampOfTheZone) {
    // 1980-01-01 00:00 local, as the run sets it on the NT family.
    FILETIME in = ToFileTime(UnknownTimeLocalNT), out;
    ASSERT_TRUE(LocalFileTimeToFileTime(&in, &out));
    TTimeValue utc = 0;
    ASSERT_TRUE(NativePlatform().LocalToUtc(UnknownTimeLocalNT, utc));
    EXPECT_EQ(utc, ToValue(out));
    TTimeParts p;
    ASSERT_TRUE(FileTimeToLocalParts(utc, p));
    EXPECT_EQ(p.wYear, 1980);
    EXPECT_EQ(p.wMonth, 1);
    EXPECT_EQ(p.wDay, 1);
    EXPECT_EQ(p.wHour + p.wMinute + p.wSecond + p.Fraction, 0u);
}

#endif
