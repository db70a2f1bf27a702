#include "engine/folder_helper.h"

#include "common/paths.h"
#include "platform/platform.h"

#include <cstdio>

bool LocalValueToDosDateTime(TTimeValue local, uint16_t &date, uint16_t &time) {
    date = 0;
    time = 0;
    TTimeParts parts;
    if (!FileTimeToTimeParts(local, parts) || parts.wYear < 1980 || parts.wYear > 2107)
        return false;
    date = uint16_t((parts.wYear - 1980) * 512 + parts.wMonth * 32 + parts.wDay);
    time = uint16_t(parts.wHour * 2048 + parts.wMinute * 32 + parts.wSecond / 2);
    return true;
}

TDosStamp DosStampOf(TTimeValue utc) {
    TDosStamp stamp;
    TTimeValue local = 0;
    if (!Platform().UtcToLocal(utc, local) ||
        !LocalValueToDosDateTime(local, stamp.Date, stamp.Time))
        return TDosStamp();
    // The 10-ms count comes from the UTC calendar fields: the milliseconds,
    // and one more second's worth on an odd second.
    TTimeParts parts;
    if (!FileTimeToTimeParts(utc, parts))
        return TDosStamp();
    stamp.Count = uint16_t((parts.wMilliseconds + (parts.wSecond % 2 ? 1000 : 0)) / 10);
    return stamp;
}

std::string HelperArguments(const std::string &path, TTimeValue value, TStampKind kind) {
    TDosStamp stamp = DosStampOf(value);
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %d %X %X %X", HelperActions[kind],
                  unsigned(stamp.Date), unsigned(stamp.Time), unsigned(stamp.Count));
    return "\"" + path + "\"" + numbers;
}

bool StampFolderByHelper(const std::string &path, TTimeValue value, TStampKind kind) {
    const TPlatform &platform = Platform();
    std::string arguments = HelperArguments(path, value, kind);
    std::string helper = FolderPart(platform.ModuleFileName()) + HelperFileName;
    std::string shortHelper;
    if (!platform.ShortPathName(helper, shortHelper))
        return false; // no helper beside the program
    // The helper ends with 0 when the stamp was set, otherwise with the
    // system's code for why not, which the platform keeps as the reason.
    uint32_t exitCode = 0;
    return platform.RunHiddenAndWait(shortHelper + " " + arguments, exitCode) && exitCode == 0;
}
