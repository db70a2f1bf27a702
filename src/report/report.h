#pragma once
// Report lines and preview value lines.

#include "common/item_stamps.h"
#include "common/option.h"
#include "common/settings.h"
#include "common/timevalue.h"
#include "platform/platform.h"
#include "report/output.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

extern const char *const StampKindNames[3];
// What -sm reads: the date a photo or video was taken.
extern const char *const MediaDateName;

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
// (precision: cut to that width). Widths count a character's bytes in the
// system code page in the Windows build (as the console shows them) and
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
    // The run writes restore lines (-e): its standard output holds them (or,
    // on preview, the lines that name their items) and nothing else. Every
    // other line of the report, every warning included, goes to the error
    // stream, so that no name of an item or operand can be read back from a
    // restore file as a switch.
    bool RestoreRun = false;
};

// Readies the report for the run's operands: a run in which any operand
// writes restore lines keeps its standard output for them.
void BeginReport(TReport &report, const std::vector<TOption> &operands);

// One line, or text of whole lines that names no item, of the report, on
// its stream: the standard output, or the error stream in a restore run.
void ReportLine(TReport &report, std::string_view line);
// The parts as one line.
void ReportLine(TReport &report, std::initializer_list<std::string_view> parts);
void ReportText(TReport &report, std::string_view text);

// Every warning after which an item or folder keeps its stamps (or gets no
// restore line) is written here: message + "。(" + path + ")" on the
// report's stream, and the run is marked to end with exit code 2. A
// `reason`, when given, follows on the error stream as its own line: path +
// ": " + reason.
void WarnItemKept(TReport &report, std::string_view message, const std::string &path,
                  std::string_view reason = {});
// The same on the error stream, whatever the run.
void WarnItemKeptOnErrorStream(TReport &report, std::string_view message, const std::string &path,
                               std::string_view reason = {});

// Prints the operand's heading when it is pending, from `item`'s options and
// the new values it has: a kind without one tells its source alone. For what
// comes before an operand's first item with values of its own (an item
// refused, or one that could not be read), so that the heading comes first.
void ReportHeading(TReport &report, const TItemStamps &item);

// Prints the operand's heading when it is pending, the item's result line
// and, on preview, its value lines. An item that kept its stamps gets the
// warning and the reason line.
void ReportItem(TReport &report, const TItemStamps &item);

// An operand that selected nothing. `folderError` is the system's code of
// the failed opening or search of the operand's own folder (0: it was
// searched). A folder that exists but could not be searched is a warning with
// its reason ("Warn.: フォルダを検索できませんでした"), also under -g; otherwise
// nothing stands there: a warning under -g, else the not-found error, which
// ends the run. Where a folder of the operand's name stands (`namesFolder`),
// its cause line shows the pattern that selects what the folder holds.
void ReportNothingSelected(TReport &report, const TOption &operand, uint32_t folderError,
                           bool namesFolder = false);
