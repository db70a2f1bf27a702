#include "report/report.h"

#include "common/errors.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/platform.h"

#include <climits>
#include <cstddef>

const char *const StampKindNames[3] = {"更新日時", "作成日時", "アクセス日時"};
const char *const MediaDateName = "撮影日時";

namespace {

// Width of one character on screen. The Windows build counts the
// character's bytes in the system code page, as its console does (a
// double-byte character is two bytes wide, one the code page lacks is the one
// byte "?"); the native build counts East Asian wide characters as two
// columns. A byte that starts no UTF-8 sequence is one column.
struct TCharSpan {
    size_t Bytes;
    int Columns;
};

bool IsWideCodePoint(uint32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

TCharSpan NextChar(std::string_view text, size_t at) {
    uint32_t code = 0;
    size_t length = 1;
    if (!DecodeUtf8(text, at, code, length) || code < 0x80)
        return {1, 1};
    if constexpr (StreamsInCodePage)
        return {length,
                int(Platform().ToCodePage(std::string(text.substr(at, length)), nullptr).size())};
    else
        return {length, IsWideCodePoint(code) ? 2 : 1};
}

int TextWidth(std::string_view text) {
    int columns = 0;
    for (size_t at = 0; at < text.size();) {
        TCharSpan span = NextChar(text, at);
        columns += span.Columns;
        at += span.Bytes;
    }
    return columns;
}

// The longest head of `text` that fits in `limit` columns.
std::string_view CutToWidth(std::string_view text, int limit) {
    int columns = 0;
    size_t at = 0;
    while (at < text.size()) {
        TCharSpan span = NextChar(text, at);
        if (columns + span.Columns > limit)
            break;
        columns += span.Columns;
        at += span.Bytes;
    }
    return text.substr(0, at);
}

void AppendPadded(std::string &result, std::string_view piece, int width, bool leftAlign) {
    const int fill = width > 0 ? width - TextWidth(piece) : 0;
    if (fill > 0 && !leftAlign)
        result.append(size_t(fill), ' ');
    result.append(piece);
    if (fill > 0 && leftAlign)
        result.append(size_t(fill), ' ');
}

[[noreturn]] void FormatFault(std::string_view format) {
    throw EUnexpected("EConvertError",
                      "Format '" + std::string(format) + "' invalid or incompatible with argument");
}

// A number of the directive; one too large for an int makes the format invalid.
bool ReadNumber(std::string_view format, size_t &at, int &value) {
    if (at >= format.size() || format[at] < '0' || format[at] > '9')
        return false;
    value = 0;
    while (at < format.size() && format[at] >= '0' && format[at] <= '9') {
        const int digit = format[at++] - '0';
        if (value > (INT_MAX - digit) / 10)
            FormatFault(format);
        value = value * 10 + digit;
    }
    return true;
}

const std::string UnknownValue = "          不明"; // ten blanks: as wide as a dated value's head

} // namespace

std::string FormatText(std::string_view format, const std::vector<TFormatArg> &args) {
    std::string result;
    size_t next = 0; // the argument taken by a directive without an index
    size_t at = 0;
    while (at < format.size()) {
        const size_t percent = format.find('%', at);
        if (percent == std::string_view::npos) {
            result.append(format.substr(at));
            break;
        }
        result.append(format.substr(at, percent - at));
        at = percent + 1;
        if (at < format.size() && format[at] == '%') {
            result += '%';
            ++at;
            continue;
        }
        int number = 0, width = 0, precision = -1;
        bool leftAlign = false;
        if (ReadNumber(format, at, number)) {
            if (at < format.size() && format[at] == ':') {
                next = size_t(number);
                ++at;
                ReadNumber(format, at, width);
            } else {
                width = number;
            }
        } else {
            if (at < format.size() && format[at] == '-') {
                leftAlign = true;
                ++at;
            }
            ReadNumber(format, at, width);
        }
        if (at < format.size() && format[at] == '.') {
            ++at;
            precision = 0;
            ReadNumber(format, at, precision);
        }
        if (at >= format.size() || next >= args.size())
            FormatFault(format);
        const char type = format[at++];
        const TFormatArg &arg = args[next++];
        if ((type == 'd' || type == 'D') && !arg.IsText) {
            const bool negative = arg.Number < 0;
            const uint64_t magnitude = negative ? ~uint64_t(arg.Number) + 1 : uint64_t(arg.Number);
            std::string digits = std::to_string(magnitude);
            if (precision > int(digits.size()))
                digits.insert(0, size_t(precision) - digits.size(), '0');
            if (negative)
                digits.insert(0, 1, '-');
            AppendPadded(result, digits, width, leftAlign);
        } else if ((type == 's' || type == 'S') && arg.IsText) {
            std::string_view text = arg.Text;
            if (precision >= 0)
                text = CutToWidth(text, precision);
            AppendPadded(result, text, width, leftAlign);
        } else {
            FormatFault(format);
        }
    }
    return result;
}

std::string FormatTimeParts(const TTimeParts &parts, const std::string &format, int width) {
    std::string result =
        FormatText(format, {int64_t(parts.wYear), int64_t(parts.wMonth), int64_t(parts.wDay),
                            int64_t(parts.wHour), int64_t(parts.wMinute), int64_t(parts.wSecond),
                            int64_t(parts.Fraction)});
    const size_t point = result.find('.');
    if (point != std::string::npos && width >= 0 && width < 8)
        result.erase(std::min(point + size_t(width), result.size()), size_t(8 - width));
    return result;
}

TShiftParts SplitShift(int64_t shift) {
    TShiftParts parts;
    parts.Negative = shift < 0;
    const uint64_t a = parts.Negative ? ~uint64_t(shift) + 1 : uint64_t(shift);
    parts.Hours = a / TicksPerHour;
    parts.Minutes = a / TicksPerMinute % 60;
    parts.Seconds = a / TicksPerSecond % 60;
    parts.Fraction = a % TicksPerSecond;
    return parts;
}

namespace {

// The value sentence that follows the copy sentence, by date mode.
std::string ValueSentence(const TItemStamps &item, TStampKind kind) {
    const TOption &option = item.Options;
    const TTimeParts &parts = item.NewParts[kind];
    switch (option.DateMode) {
    case dmTime:
        return FormatTimeParts(parts, "し、時刻を %3:.2d:%4:.2d:%5:.2d に変更", 8);
    case dmDay:
        return FormatTimeParts(parts, "し、日時を %2:.2d %3:.2d:%4:.2d:%5:.2d に変更", 8);
    case dmMonthDay:
        return FormatTimeParts(parts, "し、日時を %1:.2d-%2:.2d %3:.2d:%4:.2d:%5:.2d に変更", 8);
    case dmNone:
        if (option.Shift != 0) {
            TShiftParts shift = SplitShift(option.Shift);
            return FormatText("し、日時を %s%d:%.2d:%.2d ずら",
                              {shift.Negative ? "-" : "+", int64_t(shift.Hours),
                               int64_t(shift.Minutes), int64_t(shift.Seconds)});
        }
        return std::string();
    default:
        return std::string();
    }
}

// What the operand does to one stamp kind, as its heading line tells it.
std::string Description(const TRunTimes &times, const TItemStamps &item, TStampKind kind) {
    const TOption &option = item.Options;
    const bool hasValue = item.HasNewValue[kind];
    const bool unknown = times.IsUnknown(item.NewValues[kind]);
    const TStampSource source = SourceKindFor(option, kind);
    if (hasValue && option.Source == ssNow && unknown)
        return "不明に変更";
    if ((hasValue && (option.Source == ssNow || option.DateMode == dmDate)) || source == ssNow)
        return FormatTimeParts(item.NewParts[kind], "%d-%.2d-%.2d %.2d:%.2d:%.2d に変更", 8);
    std::string sentence;
    if (!option.SourceFile.empty())
        sentence += "'" + option.SourceFile + "' の";
    sentence += source == ssMedia ? MediaDateName : StampKindNames[KindReadBy(source)];
    sentence += "からコピー";
    // The first item's computation may have stopped before this kind (its
    // counterpart was missing): then there is no value to tell.
    if (hasValue && !unknown)
        sentence += ValueSentence(item, kind);
    return sentence;
}

void WriteHeading(TReport &report, const TItemStamps &item) {
    ReportText(report, LineEnd);
    for (TStampKind kind : AllStampKinds)
        if (item.Options.Kinds.Has(kind))
            ReportLine(report, std::string(StampKindNames[kind]) + "を " +
                                   Description(report.Times, item, kind) + "します。");
}

const char *OutcomeMessage(TStampOutcome outcome) {
    switch (outcome) {
    case soChanged:
        return "変更しました";
    case soFailed:
        return "Warn.: 変更できませんでした";
    case soSourceMissing:
        return "Warn.: コピー元ファイルが見つかりません";
    case soNoMediaDate:
        return "Warn.: 撮影日時が見つかりません";
    case soPreview:
    default:
        return "変更されます";
    }
}

const char *const LongStampFormat = "%d-%.2d-%.2d %.2d:%.2d:%.2d.%.7d";

void WriteValueLines(TReport &report, const TItemStamps &item) {
    for (TStampKind kind : AllStampKinds) {
        std::string text;
        if (!item.Options.Kinds.Has(kind))
            continue;
        text += FormatText("%10.8s: ", {StampKindNames[kind]});
        const TTimeValue oldValue = item.OldValues[kind];
        if (report.Times.IsUnknown(oldValue)) {
            text += UnknownValue;
            text.append(size_t(item.FractionWidth + 6), ' ');
        } else {
            TTimeParts oldParts;
            FileTimeToLocalParts(oldValue, oldParts);
            text += FormatTimeParts(oldParts, LongStampFormat, item.FractionWidth);
            text += ' ';
        }
        text += "→ ";
        if (report.Times.IsUnknown(item.NewValues[kind]))
            text += UnknownValue;
        else
            text += FormatTimeParts(item.NewParts[kind], LongStampFormat, item.FractionWidth);
        ReportLine(report, text);
    }
}

void WarnOn(TReport &report, bool errorStream, std::string_view message, const std::string &path,
            std::string_view reason) {
    report.ItemsKept = true;
    const std::string line = std::string(message) + "。(" + path + ")";
    if (errorStream)
        report.Output.ErrLine(line);
    else
        ReportLine(report, line);
    // Where the path shows a "?" for a character that the stream's code page
    // lacks, the reason line tells which: two such names stay apart.
    std::vector<uint32_t> lacked = report.Output.Lacked(stdError, path);
    if (lacked.empty() && !errorStream && !report.RestoreRun)
        lacked = report.Output.Lacked(stdOutput, path);
    std::string reasonLine(reason);
    if (!lacked.empty())
        reasonLine += (reasonLine.empty() ? "(? = " : " (? = ") + CodePointList(lacked) + ")";
    if (!reasonLine.empty())
        report.Output.ErrLine(path + ": " + reasonLine);
}

} // namespace

void BeginReport(TReport &report, const std::vector<TOption> &operands) {
    report.RestoreRun = false;
    for (const TOption &operand : operands)
        report.RestoreRun = report.RestoreRun || operand.MakeRestoreFile;
    report.Output.SetRestoreLines(report.RestoreRun);
}

void ReportLine(TReport &report, std::string_view line) {
    if (report.RestoreRun)
        report.Output.ErrLine(line);
    else
        report.Output.OutLine(line);
}

void ReportLine(TReport &report, std::initializer_list<std::string_view> parts) {
    if (!report.RestoreRun) {
        report.Output.OutLine(parts);
        return;
    }
    std::string line;
    for (std::string_view part : parts)
        line.append(part);
    report.Output.ErrLine(line);
}

void ReportText(TReport &report, std::string_view text) {
    if (report.RestoreRun)
        report.Output.Err(text);
    else
        report.Output.Out(text);
}

void WarnItemKept(TReport &report, std::string_view message, const std::string &path,
                  std::string_view reason) {
    WarnOn(report, false, message, path, reason);
}

void WarnItemKeptOnErrorStream(TReport &report, std::string_view message, const std::string &path,
                               std::string_view reason) {
    WarnOn(report, true, message, path, reason);
}

void ReportHeading(TReport &report, const TItemStamps &item) {
    if (!report.HeadingPending)
        return;
    report.HeadingPending = false;
    WriteHeading(report, item);
}

void ReportItem(TReport &report, const TItemStamps &item) {
    // An item that could not even be read has no values to head the operand
    // with: the heading waits for the next item.
    const bool valued = item.HasNewValue[0] || item.HasNewValue[1] || item.HasNewValue[2];
    if (report.HeadingPending && (valued || item.Outcome != soFailed)) {
        report.HeadingPending = false;
        WriteHeading(report, item);
    }
    if (item.Outcome == soFailed || item.Outcome == soSourceMissing ||
        item.Outcome == soNoMediaDate) {
        // A missing counterpart: the path that was looked for, and why it was not found.
        std::string reason = item.Reason.empty() ? SystemReason(item.ErrorCode) : item.Reason;
        if (!item.MissingSource.empty())
            reason = reason.empty() ? item.MissingSource : item.MissingSource + ": " + reason;
        WarnItemKept(report, OutcomeMessage(item.Outcome), item.Path, reason);
        return;
    }
    const std::string_view message = OutcomeMessage(item.Outcome);
    ReportLine(report, {message, "。(", item.Path, ")"});
    if (item.Outcome == soPreview) {
        WriteValueLines(report, item);
        // Where a media date came from, and the offset it was read at.
        if (!item.MediaOrigin.empty())
            ReportLine(report, FormatText("%10.8s: ", {MediaDateName}) + item.MediaOrigin);
    }
}

void ReportNothingSelected(TReport &report, const TOption &operand, uint32_t folderError,
                           bool namesFolder) {
    if (folderError != 0 && !IsAbsenceCode(folderError)) {
        ReportText(report, LineEnd);
        WarnItemKept(report, "Warn.: フォルダを検索できませんでした",
                     ShownFolder(FolderPart(operand.FileName)), SystemReason(folderError));
        return;
    }
    // A folder of that name stands there, but the options did not select
    // it: the cause shows how to select what it holds.
    std::string cause;
    if (namesFolder) {
        std::string folder = operand.FileName;
        while (folder.size() > 1 && IsPathSeparator(folder.back()))
            folder.pop_back();
        const std::string contents = folder + PathSeparator + "*";
        cause = operand.FileName + ": フォルダです。中の項目を選ぶには " +
                (PathSeparator == '/' ? "'" + contents + "'" : contents) + " と指定します";
    }
    if (operand.IgnoreNotFound) {
        ReportText(report, LineEnd);
        ReportLine(report, "Warn.: " + NotFoundMessage(operand.FileName) + "。");
        if (!cause.empty())
            report.Output.ErrLine(cause);
        return;
    }
    // Otherwise the message says it all: nothing stands there.
    throw EAppError(NotFoundMessage(operand.FileName), cause);
}
