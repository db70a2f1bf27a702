#pragma once
// The run-wide settings and start values: set once at start (or by the
// parser's program-wide switches) and read everywhere below the run loop.

#include "common/option.h"
#include "common/timevalue.h"

#include <cstdint>
#include <string>
#include <vector>

// The start time of the run: every item stamped with the current time gets
// this one value.
extern TTimeValue NowTime;
// The value that stands for an unknown stamp (-d:unknown): 1980-01-01 local
// time on the NT family, a fixed value on the 9x family.
extern TTimeValue UnknownTime;

// The platform family: true on the NT family; false on the 9x family, where
// folders are stamped through the helper program.
extern bool IsNT;
// The program file's name without folder and extension: names the default
// options' registry key and environment variable.
extern std::string ProgName;
// "\software\Varnhold\" + ProgName, under the current user.
extern std::string RegKey;

// Program-wide switches; -i does not reset them.
extern int32_t SubSecondDigits; // -zs: sub-second digits shown, 0 to 7
extern bool SplitFileNames;     // -zd: operands are cut at ";"
extern bool FatRounding;        // -zr: new stamps are cut to what FAT and exFAT keep

// One entry per file operand, in the order met; read-only after parsing.
extern std::vector<TOption> Operands;

// Report state: set at the start of every operand, cleared by its first
// report (heading of the report, or of the restore lines).
extern bool HeadingPending;

// Set by every warning after which an item or folder of the run kept its
// stamps (or gets no restore line): a run that goes to its end then exits with 2.
extern bool ItemsKept;

// The process exit code.
extern int ExitCode;
