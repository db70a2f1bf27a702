// The reader of a date in a file name, over any name: a date it gives is
// one that can be, and it is found again in the name written out alone.

#include "media_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string name(reinterpret_cast<const char *>(data), size);
    TMediaDate date;
    if (!ReadNameDate(name, date))
        return 0;
    FUZZ_CHECK(date.Origin == moFileName && !date.IsUtc && !date.HasOffset);
    TTimeValue value = 0;
    FUZZ_CHECK(TimePartsToFileTime(date.Parts, value));
    FUZZ_CHECK(date.Parts.Fraction < TicksPerSecond);
    // The date written as the cameras write it reads back the same.
    const TTimeParts &p = date.Parts;
    char text[64];
    std::snprintf(text, sizeof text, "IMG_%04u%02u%02u_%02u%02u%02u%07u.jpg", p.wYear, p.wMonth,
                  p.wDay, p.wHour, p.wMinute, p.wSecond, unsigned(p.Fraction));
    TMediaDate again;
    FUZZ_CHECK(ReadNameDate(text, again));
    FUZZ_CHECK(again.Parts.wYear == p.wYear && again.Parts.wMonth == p.wMonth &&
               again.Parts.wDay == p.wDay && again.Parts.wHour == p.wHour &&
               again.Parts.wMinute == p.wMinute && again.Parts.wSecond == p.wSecond &&
               again.Parts.Fraction == p.Fraction);
    return 0;
}
