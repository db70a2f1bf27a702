#pragma once
// Time values and their calendar forms.

#include <cstdint>

// 100-ns ticks since 1601-01-01 00:00:00 UTC, as the platform keeps stamps.
using TTimeValue = uint64_t;

inline constexpr uint64_t TicksPer10ms = 100000ULL;
inline constexpr uint64_t TicksPerSecond = 10000000ULL;
inline constexpr uint64_t TicksPerMinute = 600000000ULL;
inline constexpr uint64_t TicksPerHour = 36000000000ULL;

// A calendar date and time of day: the platform's SYSTEMTIME followed by the
// sub-second part in 100-ns ticks, which alone carries it into a time value.
struct TTimeParts {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
    uint32_t Fraction = 0;
};

// The mark that the reader of -d and -t leaves in wYear (date) or wHour (time)
// for an argument it could not read.
inline constexpr uint16_t InvalidMark = 65535;

// Exclusive upper bound of a computed stamp: 2106-02-07 06:28:16 UTC.
inline constexpr TTimeValue StampLimit = 159394408960000000ULL;

// The stored forms of the unknown-time value of the two platform families.
inline constexpr TTimeValue UnknownTimeLocalNT = 119600064000000000ULL; // 1980-01-01 local
inline constexpr TTimeValue UnknownTime9x = 159677244000000000ULL;      // 2106-12-31 15:00 UTC

bool TimePartsToFileTime(const TTimeParts &parts, TTimeValue &value);
bool FileTimeToTimeParts(TTimeValue value, TTimeParts &parts);
bool FileTimeToLocalParts(TTimeValue utc, TTimeParts &parts);
bool LocalPartsToFileTime(const TTimeParts &parts, TTimeValue &utc);
// The hours, minutes, seconds and Fraction as a duration; no field is held to its range.
uint64_t TimeOfDayToTicks(const TTimeParts &parts);
