#pragma once
// The run-wide settings and start values: set once at the start of a run (or
// by the parser's program-wide switches) and read everywhere below the run loop.

#include "common/option.h"
#include "common/timevalue.h"

#include <cstdint>
#include <string>
#include <vector>

// The platform family, asked of the platform in use: true on the NT family;
// false on the 9x family, where folders are stamped through the helper program.
bool IsNT();

// Start time of the run: every item stamped with the current time gets this value.
extern TTimeValue NowTime;
// The value of an unknown stamp (-d:unknown): 1980-01-01 local time on the NT
// family, a fixed value on the 9x family.
extern TTimeValue UnknownTime;
// The stamp is unknown: 0, or UnknownTime.
bool IsUnknownStamp(TTimeValue value);
// The program file's name without folder and extension: names the default
// options' registry key and environment variable.
extern std::string ProgName;
// "\software\Varnhold\" + ProgName, under the current user.
extern std::string RegKey;
// -zs: sub-second digits shown, 0 to 7; program-wide, -i does not reset it.
extern int32_t SubSecondDigits;
// -zd: operands are cut at ";"; program-wide, -i does not reset it.
extern bool SplitFileNames;
// -zr: new stamps are cut to what FAT and exFAT keep; program-wide, -i does not reset it.
extern bool FatRounding;
// One entry per file operand, in the order met: made anew by every parse, read-only after it.
extern std::vector<TOption> Operands;
// Appends an entry to Operands: the working record with `fileName` as its operand.
void AppendOperand(const TOption &working, const std::string &fileName);
// Set by the walker at the start of every operand, cleared by its first report
// (the heading of the report, or of the restore lines).
extern bool HeadingPending;
// Set by every warning after which an item or folder of the run kept its
// stamps (or gets no restore line): a run that goes to its end then exits with 2.
extern bool ItemsKept;
// The process exit code.
extern int ExitCode;
