#pragma once
// Helpers shared by the tests of the timestamp engine.

#include "common/option.h"
#include "common/settings.h"
#include "common/timevalue.h"
#include "engine/fs_rounding.h"
#include "engine/stamp_item.h"
#include "fake/fake_platform.h"
#include "time_support.h"

#include <string>

namespace engine_test {

// A path written with "/" and an optional drive prefix "X:", in the build's
// own syntax: "C:\work\a.txt" on Windows, "/C/work/a.txt" in the native build.
inline std::string P(std::string text) {
    if constexpr (HasDriveSyntax) {
        for (char &c : text)
            if (c == '/')
                c = '\\';
    } else if (text.size() >= 2 && text[1] == ':') {
        text = "/" + text.substr(0, 1) + (text.size() > 2 && text[2] == '/' ? "" : "/") +
               text.substr(2);
    }
    return text;
}

// A time value from calendar fields taken as they stand (no zone).
inline TTimeValue Value(int y, int mo, int d, int h = 0, int mi = 0, int s = 0,
                        uint32_t fraction = 0) {
    TTimeValue value = 0;
    TimePartsToFileTime(MakeParts(y, mo, d, h, mi, s, fraction), value);
    return value;
}

// The UTC value of a local date and time under the fake's zone offset.
inline TTimeValue LocalValue(int y, int mo, int d, int h = 0, int mi = 0, int s = 0,
                             uint32_t fraction = 0) {
    return Value(y, mo, d, h, mi, s, fraction) - uint64_t(Fake().LocalOffset);
}

// A fake platform with the zone and clock the engine tests use, and the run
// values the engine reads, at their start values.
class TEngineScope {
public:
    TEngineScope() {
        Fake().LocalOffset = 9 * int64_t(TicksPerHour);
        Fake().Now = Value(2011, 1, 17, 4, 25, 39, 4567891);
        Times.Now = Fake().Now;
        Times.Unknown = UnknownTimeLocalNT - uint64_t(Fake().LocalOffset);
    }
    // What stamping an item is given, from the values below.
    TStampContext Context() { return TStampContext{Times, FatRounding, Fake().IsNT, &Volumes}; }

private:
    TFakePlatformScope FakeScope;

public:
    TRunTimes Times;
    bool FatRounding = true;
    int32_t SubSecondDigits = 6;
    TVolumeNames Volumes;
};

} // namespace engine_test
