#pragma once
// Calendar fields for tests, written as a date and a time of day.

#include "common/timevalue.h"

#include <cstdint>

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
