#pragma once
// Report lines and preview value lines.

#include "common/item_stamps.h"
#include "common/settings.h"
#include "common/timevalue.h"
#include "platform/platform.h"
#include "report/output.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern const char *const StampKindNames[3];

// One argument of FormatText: a number or a text.
struct TFormatArg {
    TFormatArg(int64_t number) : IsText(false), Number(number) {}
    TFormatArg(std::string_view text) : IsText(true), Text(text) {}
    TFormatArg(const char *text) : IsText(true), Text(text) {}
    bool IsText;
    int64_t Number = 0;
    std::string_view Text;
};

// The program's own formatter. Directives: "%%", and "%[index:][-][width][.precision]"
// followed by "d" (precision: at least that many digits, zero-padded) or "s"
// (precision: cut to that width). Widths count bytes in the Windows build and
// display columns in the native build, where a double-width character counts two.
// A directive without its argument raises EUnexpected.
std::string FormatText(std::string_view format, const std::vector<TFormatArg> &args);

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

// The report of a run: where it goes, and what it has told so far.
struct TReport {
    TOutput &Output;
    TRunTimes Times;
    // Set at the start of every operand, cleared by its first report (the
    // heading of the report, or of the restore lines).
    bool HeadingPending = false;
    // Set by every warning after which an item or folder kept its stamps (or
    // got no restore line): a run that goes to its end then exits with 2.
    bool ItemsKept = false;
};

// Every warning after which an item or folder keeps its stamps (or gets no
// restore line) is written here: message + "。(" + path + ")" on `stream`, and
// the run is marked to end with exit code 2. A `reason`, when given, follows
// on the error stream as its own line: path + ": " + reason.
void WarnItemKept(TReport &report, std::string_view message, const std::string &path,
                  TStream stream = stdOutput, std::string_view reason = {});

// The system's own text for an error code (its number where the system has
// no text); empty for 0.
std::string SystemReason(uint32_t code);

// Prints the operand's heading when it is pending, the item's result line
// and, on preview, its value lines. An item that kept its stamps gets the
// warning and the reason line.
void ReportItem(TReport &report, const TItemStamps &item);
