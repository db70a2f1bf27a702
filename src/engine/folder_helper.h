#pragma once
// Stamping a folder through the helper program (Windows 9x family, where a
// folder cannot be opened to write its stamps). One run of the helper sets
// one stamp kind of one folder.

#include "common/option.h"
#include "common/timevalue.h"

#include <cstdint>
#include <string>

// The helper's action code by stamp kind: 3 sets the last-write date and
// time, 7 the creation date and time, 5 the last-access date.
inline constexpr int HelperActions[3] = {3, 7, 5};
inline constexpr const char *HelperFileName = "Folvane.exe";

// A time value in the MS-DOS forms the helper takes.
struct TDosStamp {
    uint16_t Date = 0;  // (year - 1980) * 512 + month * 32 + day, local time
    uint16_t Time = 0;  // hour * 2048 + minute * 32 + second / 2, local time
    uint16_t Count = 0; // 10-ms steps within the 2-second step, 0 to 199
};

// The local calendar date and time as MS-DOS date and time; false (both 0)
// outside 1980 to 2107.
bool LocalValueToDosDateTime(TTimeValue local, uint16_t &date, uint16_t &time);
// The helper's forms of a UTC time value; all 0 when the local date lies
// outside 1980 to 2107.
TDosStamp DosStampOf(TTimeValue utc);

// The argument text for the helper: "\"path\" action date time count", the
// last three in capital hexadecimal.
std::string HelperArguments(const std::string &path, TTimeValue value, TStampKind kind);
// Runs the helper (in the program's own folder) for one stamp kind of one
// folder and waits until it has ended. False: it could not be started, or it
// could not set the stamp (its exit code, a system error code, is then the
// reason that the platform keeps).
bool StampFolderByHelper(const std::string &path, TTimeValue value, TStampKind kind);
