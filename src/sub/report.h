#pragma once
// Report lines and preview value lines.

#include "sub/stamp_item.h"
#include "sub/timevalue.h"

#include <cstdint>
#include <string>

extern const char *const StampKindNames[3];

// Fills `format` with year, month, day, hour, minute, second and Fraction
// (arguments 0 to 6), then keeps `width` characters of the sub-second part.
std::string FormatTimeParts(const TTimeParts &parts, const std::string &format, int width);

struct TShiftParts {
    bool Negative = false;
    uint64_t Hours = 0;
    uint64_t Minutes = 0;
    uint64_t Seconds = 0;
    uint64_t Fraction = 0;
};
TShiftParts SplitShift(int64_t shift);

void ReportItem(const TItemStamps &item);
