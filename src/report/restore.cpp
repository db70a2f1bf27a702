#include "report/restore.h"

#include "common/paths.h"
#include "common/text.h"
#include "platform/platform.h"

const char StampKindLetters[3] = {'w', 'c', 'a'};

namespace {

// A known stamp as a line writes it: the offset from UTC of local time for
// it, and its calendar parts at exactly that offset, so that the line reads
// back to the same value wherever and whenever it is read.
bool LineParts(TTimeValue value, TUtcOffset &offset, TTimeParts &parts) {
    offset = OffsetInForce(value);
    return offset.Fixed && FileTimeToZoneParts(value, offset, parts);
}

// Why lines for the item would not be read back as written (they would aim at
// another item, or be refused); empty when they would.
std::string RestoreProblem(const TRunTimes &times, const TItemStamps &item,
                           const std::string &fullPath) {
    // A link taken as itself: read back, its path would name what it points to.
    if (item.LinkItself)
        return "シンボリックリンクそのもののタイムスタンプは復元できません";
    // Without an absolute path, a line would name whatever stands at the
    // path where it is read back.
    if (fullPath.empty())
        return "絶対パスが得られません";
    // A line break ends the token wherever it stands.
    if (fullPath.find_first_of("\r\n") != std::string::npos)
        return "名前に改行文字が含まれています";
    // "*" and "?" may be part of a name (on file systems of other systems,
    // reached through shares on Windows), but read back they match others too.
    if (FileNamePart(fullPath).find_first_of("*?") != std::string::npos)
        return "名前にワイルドカード文字が含まれています";
    for (TStampKind kind : AllStampKinds) {
        const TTimeValue value = item.OldValues[kind];
        if (!item.Options.Kinds.Has(kind) || times.IsUnknown(value))
            continue;
        // The date reader takes years from 1980 and values below the limit only.
        TUtcOffset offset;
        TTimeParts parts;
        if (value >= StampLimit || !LineParts(value, offset, parts) || parts.wYear < 1980)
            return std::string(StampKindNames[kind]) +
                   "が復元できる範囲 (1980 年から 2106 年まで) の外にあります";
        // -zo reads offsets that local time somewhere keeps, and no other.
        if (!OffsetInRange(offset))
            return std::string(StampKindNames[kind]) + "の UTC オフセット (" + OffsetText(offset) +
                   ") が -12:00 から +14:00 の外にあります";
    }
    return std::string();
}

} // namespace

void WriteRestoreHeading(TReport &report) {
    if (report.HeadingPending) {
        report.HeadingPending = false;
        report.Output.Err(std::string(LineEnd) + "タイムスタンプ復元設定を作成します。" + LineEnd);
    }
}

void RefuseRestoreLines(TReport &report, const std::string &path, const std::string &reason) {
    WriteRestoreHeading(report);
    WarnItemKeptOnErrorStream(report, "Warn.: 復元設定を作成できませんでした", path, reason);
}

void WriteRestoreLines(TReport &report, const TItemStamps &item) {
    // Its stamps could not be read: it vanished since it was listed, say.
    if (item.Outcome == soFailed) {
        RefuseRestoreLines(report, item.Path, SystemReason(item.ErrorCode));
        return;
    }
    // Lines name the item by its absolute path in its real folder.
    const std::string fullPath = Platform().FullPathName(item.Place.Handle(), item.Place.Name);
    std::string problem = RestoreProblem(report.Times, item, fullPath);
    // A line whose path would be written with "?" for a character names another item.
    if (problem.empty() && !report.Output.Lacked(stdOutput, fullPath).empty())
        problem = "パスの文字がシステムのコード ページにありません。-zu を指定すると UTF-8 "
                  "で書き出します";
    if (!problem.empty()) {
        RefuseRestoreLines(report, item.Path, problem);
        return;
    }
    // A line that sets a creation stamp where none can be set would fail
    // whenever it is read back: the item's other lines are written.
    TStampKinds kinds = item.Options.Kinds;
    std::string creationReason;
    if (kinds.Has(skCreation) && !Platform().CanSetCreationTime()) {
        creationReason = "このシステムでは作成日時を設定できません (" +
                         SystemReason(Platform().LastErrorCode()) + ")";
        kinds.Exclude(skCreation);
        WriteRestoreHeading(report);
        WarnItemKeptOnErrorStream(report, "Warn.: 作成日時の復元設定は作成できません", item.Path,
                                  creationReason);
        if (kinds.Empty())
            return;
    }
    WriteRestoreHeading(report);
    if (item.Options.Preview) {
        report.Output.OutLine("作成されます。(" + item.Path + ")");
        return;
    }
    const bool keepWhole = fullPath.find(';') != std::string::npos;
    const std::string token = QuotedArgument(fullPath);
    for (TStampKind kind : AllStampKinds) {
        if (!kinds.Has(kind))
            continue;
        std::string line = "-ixg";
        line += StampKindLetters[kind];
        line += ' ';
        if (keepWhole)
            line += "-zd0 ";
        const TTimeValue value = item.OldValues[kind];
        TUtcOffset offset;
        TTimeParts parts;
        if (report.Times.IsUnknown(value)) {
            // The same offset as a dated line, so that the paths stay in one column.
            offset = OffsetInForce(report.Times.Now);
            if (!OffsetInRange(offset))
                offset = TUtcOffset{true, 0}; // an unknown stamp has no offset of its own
            line += "-zo" + OffsetText(offset) + " -d:unknown";
            line.append(size_t(item.FractionWidth + 16), ' ');
        } else {
            LineParts(value, offset, parts);
            line += "-zo" + OffsetText(offset) + " ";
            line += FormatTimeParts(parts, "-d:%d-%.2d-%.2d -t:%.2d:%.2d:%.2d.%.7d ",
                                    item.FractionWidth);
        }
        line += token;
        report.Output.OutLine(line);
    }
    report.Output.ErrLine("作成しました。(" + item.Path + ")");
}
