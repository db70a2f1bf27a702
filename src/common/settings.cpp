#include "common/settings.h"

#include "platform/platform.h"

bool IsNT() {
    return Platform().IsNTFamily();
}

TRunTimes StartTimes() {
    const TPlatform &platform = Platform();
    TRunTimes times;
    if (IsNT()) {
        TTimeValue utc = UnknownTimeLocalNT;
        platform.LocalToUtc(UnknownTimeLocalNT, utc);
        times.Unknown = utc;
    } else {
        times.Unknown = UnknownTime9x;
    }
    times.Now = platform.SystemTimeNow();
    return times;
}
