#pragma once
// Time values and their calendar forms.

#include <cstdint>
#include <string>

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

// The parts of a date and a time of day (wDayOfWeek and wMilliseconds left 0).
inline TTimeParts MakeParts(unsigned year, unsigned month, unsigned day, unsigned hour = 0,
                            unsigned minute = 0, unsigned second = 0, uint32_t fraction = 0) {
    TTimeParts parts;
    parts.wYear = uint16_t(year);
    parts.wMonth = uint16_t(month);
    parts.wDay = uint16_t(day);
    parts.wHour = uint16_t(hour);
    parts.wMinute = uint16_t(minute);
    parts.wSecond = uint16_t(second);
    parts.Fraction = fraction;
    return parts;
}

// The mark that the reader of -d and -t leaves in wYear (date) or wHour (time)
// for an argument it could not read.
inline constexpr uint16_t InvalidMark = 65535;

// Exclusive upper bound of a computed stamp: 2106-02-07 06:28:16 UTC.
inline constexpr TTimeValue StampLimit = 159394408960000000ULL;

// The stored forms of the unknown-time value of the two platform families.
inline constexpr TTimeValue UnknownTimeLocalNT = 119600064000000000ULL; // 1980-01-01 local
inline constexpr TTimeValue UnknownTime9x = 159677244000000000ULL;      // 2106-12-31 15:00 UTC

// The offset from UTC that calendar parts are read and written at: the one in
// force now (local time), or a fixed number of minutes east of UTC (-zo).
struct TUtcOffset {
    bool Fixed = false;
    int32_t Minutes = 0;
    bool operator==(const TUtcOffset &) const = default;
};

bool TimePartsToFileTime(const TTimeParts &parts, TTimeValue &value);
bool FileTimeToTimeParts(TTimeValue value, TTimeParts &parts);
bool FileTimeToLocalParts(TTimeValue utc, TTimeParts &parts);
bool LocalPartsToFileTime(const TTimeParts &parts, TTimeValue &utc);
// The same at `offset`: local time where it is not fixed.
bool FileTimeToZoneParts(TTimeValue utc, const TUtcOffset &offset, TTimeParts &parts);
bool ZonePartsToFileTime(const TTimeParts &parts, const TUtcOffset &offset, TTimeValue &utc);
// The offset, whole minutes towards zero, that local time has now for `utc`;
// not fixed when it cannot be had.
TUtcOffset OffsetInForce(TTimeValue utc);
// "+09:00": the sign, two-digit hours, a colon, two-digit minutes.
std::string OffsetText(const TUtcOffset &offset);
// Reads that form (hours 00 to 99, minutes 00 to 59) into a fixed offset.
bool ReadOffsetText(const std::string &text, TUtcOffset &offset);
// A fixed offset that local time somewhere keeps: -12:00 to +14:00.
bool OffsetInRange(const TUtcOffset &offset);
// The hours, minutes, seconds and Fraction as a duration; no field is held to its range.
uint64_t TimeOfDayToTicks(const TTimeParts &parts);
