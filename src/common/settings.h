#pragma once
// The run-wide values: fixed at the start of a run, or set by the parser's
// program-wide switches, and read by whatever the run hands them to. A run
// keeps them in its context and passes them down; nothing here is global.

#include "common/timevalue.h"

#include <cstdint>

// The platform family, asked of the platform in use: true on the NT family;
// false on the 9x family, where folders are stamped through the helper program.
bool IsNT();

// The switches that hold for the whole run, whatever operand they stand
// before; -i does not reset them.
struct TRunSettings {
    int32_t SubSecondDigits = 6; // -zs: sub-second digits shown, 0 to 7
    bool SplitFileNames = true;  // -zd: operands are cut at ";" (read at each operand)
    bool FatRounding = true;     // -zr: new stamps are cut to what FAT and exFAT keep
    bool Journal = true;         // -zj: every change is recorded first, for -Undo
    unsigned Threads = 0;        // -zp: threads that read and write items; 0: as many as
                                 // there are processors, at most DefaultThreadLimit
    bool Utf8Streams = false;    // -zu: the streams in UTF-8 (the Windows build; the native
                                 // build writes UTF-8 anyway)
};

// The threads a run uses at most unless -zp asks for another number.
inline constexpr unsigned DefaultThreadLimit = 8;
// The most -zp takes.
inline constexpr unsigned MaxThreads = 64;

// The printed sub-second part with its point for `digits` digits (0: none).
inline int32_t FractionWidthOf(int32_t digits) {
    return digits == 0 ? 0 : digits + 1;
}

// The time values of a run, fixed at its start.
struct TRunTimes {
    // Start time of the run: every item stamped with the current time gets it.
    TTimeValue Now = 0;
    // The value of an unknown stamp (-d:unknown): 1980-01-01 local time on
    // the NT family, a fixed value on the 9x family.
    TTimeValue Unknown = 0;
    // The stamp is unknown: 0, or the unknown-time value.
    bool IsUnknown(TTimeValue value) const { return value == 0 || value == Unknown; }
};

// The run's time values as the platform gives them now.
TRunTimes StartTimes();
