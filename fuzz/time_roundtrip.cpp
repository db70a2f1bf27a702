// Round trip of the time values: a value converted to local parts and back
// is the same value to the tick, with the fake's offsets and with the native
// build's own; calendar fields converted to a value and back are the same.

#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

// The last year the platform converts to a time value.
constexpr uint16_t LastYear = 30827;

bool SameFields(const TTimeParts &a, const TTimeParts &b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.Fraction == b.Fraction;
}

void CheckValue(TTimeValue value) {
    TTimeParts local;
    if (!FileTimeToLocalParts(value, local) || local.wYear > LastYear)
        return;
    FUZZ_CHECK(local.wMilliseconds == local.Fraction / 10000);
    FUZZ_CHECK(local.wDayOfWeek <= 6);
    TTimeValue back = ~value;
    FUZZ_CHECK(LocalPartsToFileTime(local, back));
    FUZZ_CHECK(back == value);
}

void CheckParts(const TTimeParts &parts) {
    TTimeValue value = 0;
    if (!TimePartsToFileTime(parts, value))
        return;
    TTimeParts back;
    FUZZ_CHECK(FileTimeToTimeParts(value, back));
    FUZZ_CHECK(SameFields(back, parts));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool zoneSet = [] {
        setenv("TZ", "IST-5:30", 1); // an offset of half an hour, for the native build
        tzset();
        return true;
    }();
    (void)zoneSet;
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    constexpr int64_t TwoDays = 48 * int64_t(TicksPerHour);
    const bool native = input.ConsumeBool();
    Fake().LocalOffset = input.ConsumeIntegralInRange<int64_t>(-TwoDays, TwoDays);
    if (native)
        SetPlatform(nullptr);
    CheckValue(input.ConsumeIntegral<uint64_t>());
    CheckValue(input.ConsumeIntegralInRange<uint64_t>(0, (1ULL << 63) - 1));

    TTimeParts parts;
    parts.wYear = input.ConsumeIntegral<uint16_t>();
    parts.wMonth = input.ConsumeIntegralInRange<uint16_t>(0, 13);
    parts.wDay = input.ConsumeIntegralInRange<uint16_t>(0, 32);
    parts.wHour = input.ConsumeIntegralInRange<uint16_t>(0, 24);
    parts.wMinute = input.ConsumeIntegralInRange<uint16_t>(0, 60);
    parts.wSecond = input.ConsumeIntegralInRange<uint16_t>(0, 60);
    parts.wMilliseconds = input.ConsumeIntegral<uint16_t>();
    parts.Fraction = input.ConsumeIntegralInRange<uint32_t>(0, uint32_t(TicksPerSecond));
    CheckParts(parts);
    return 0;
}
