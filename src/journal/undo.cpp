#include "journal/undo.h"

#include "common/errors.h"
#include "common/option.h"
#include "common/text.h"
#include "journal/journal.h"
#include "journal/journal_format.h"
#include "platform/platform.h"

#include <algorithm>

namespace {

// A stamp that the file system keeps at a coarser step than the run wrote
// (FAT's two seconds at most) was cut towards the past: within that step it
// is still the stamp written.
constexpr TTimeValue CoarsestStep = 2 * TicksPerSecond;

const char *const ChangedSinceTheRun = "実行の後で変更されています";

TJournalStamp PresentStamp(const TFindData &entry, TStampKind kind) {
    switch (kind) {
    case skModification:
        return TJournalStamp{entry.LastWriteTime, entry.LastWriteNanos};
    case skCreation:
        return TJournalStamp{entry.CreationTime, entry.CreationNanos};
    default:
        return TJournalStamp{entry.LastAccessTime, entry.LastAccessNanos};
    }
}

bool StillWritten(const TJournalStamp &present, const TJournalStamp &written) {
    return present == written ||
           (present.Value <= written.Value && written.Value - present.Value < CoarsestStep);
}

// Whether the item still has what the run left: its modification and creation
// stamps are those the run wrote (or, after an undo that was stopped, those it
// had before). The access stamp moves with every read and is not compared.
bool UnchangedSinceTheRun(const TJournalItem &record, const TFindData &entry) {
    bool written = true, restored = true;
    for (TStampKind kind : {skModification, skCreation}) {
        if (record.New[kind].Value == 0)
            continue;
        const TJournalStamp present = PresentStamp(entry, kind);
        written = written && StillWritten(present, record.New[kind]);
        restored = restored && present == record.Old[kind];
    }
    return written || restored;
}

std::string LocalTimeText(TTimeValue value) {
    TTimeParts parts;
    if (!FileTimeToLocalParts(value, parts))
        return "?";
    return FormatTimeParts(parts, "%d-%.2d-%.2d %.2d:%.2d:%.2d", 0);
}

std::string CommandText(const TJournalRun &run) {
    std::string text = run.Program;
    // Every byte visible, an argument with a blank in quotes.
    for (const std::string &argument : run.Arguments)
        text += " " + (argument.empty() ? "\"\"" : QuotedArgument(EscapeField(argument)));
    return text;
}

// The journal of the run asked for.
TJournalRun FindRun(const std::vector<TJournalFile> &journals, uint64_t number) {
    if (number != 0) {
        for (const TJournalFile &file : journals) {
            if (file.Number != number)
                continue;
            TJournalRun run = ReadJournal(file);
            if (run.Undone)
                throw EAppError("実行 " + std::to_string(number) + " は取り消し済みです");
            if (run.Items.empty())
                break;
            return run;
        }
        throw EAppError("実行 " + std::to_string(number) + " の記録がありません");
    }
    // The latest run not taken back yet that changed anything.
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        TJournalRun run = ReadJournal(*it);
        if (!run.Undone && !run.Items.empty())
            return run;
    }
    throw EAppError("取り消せる実行がありません");
}

// One item back to the stamps it had; the report as for any run.
void UndoItem(const TJournalItem &record, bool preview, TReport &report,
              const TStampContext &context, int32_t subSecondDigits) {
    TItemStamps item;
    item.Path = record.Path;
    item.Place.Name = record.Path;
    item.Place.FollowLink = !record.LinkItself;
    item.FractionWidth = FractionWidthOf(subSecondDigits);
    item.Options.Preview = preview;
    TFindData entry;
    if (!Platform().ReadItem(nullptr, record.Path, !record.LinkItself, entry)) {
        item.Outcome = soFailed;
        item.ErrorCode = Platform().LastErrorCode();
        ReportItem(report, item);
        return;
    }
    if (!UnchangedSinceTheRun(record, entry)) {
        WarnItemKept(report, "Warn.: 変更できませんでした", record.Path, ChangedSinceTheRun);
        return;
    }
    // The kinds the run wrote, where the item had a stamp of that kind before.
    item.Options.Kinds = TStampKinds{};
    for (TStampKind kind : AllStampKinds) {
        const TJournalStamp present = PresentStamp(entry, kind);
        item.OldValues[kind] = present.Value;
        item.OldNanos[kind] = present.Nanos;
        if (record.New[kind].Value == 0 || record.Old[kind].Value == 0)
            continue;
        item.Options.Kinds.Include(kind);
        item.NewValues[kind] = record.Old[kind].Value;
        item.NewNanos[kind] = record.Old[kind].Nanos;
        item.HasNewValue[kind] = true;
        FileTimeToLocalParts(item.NewValues[kind], item.NewParts[kind]);
    }
    if (preview)
        item.Outcome = soPreview;
    else if (!item.Options.Kinds.Empty())
        WriteItemStamps(item, record.IsFolder, context);
    ReportItem(report, item);
}

void MarkUndone(const TJournalRun &run, TTimeValue now, int exitCode) {
    const TPlatform &platform = Platform();
    TAppendFile file(platform.OpenAppend(run.File, false));
    const std::string line = UndoneLine(now, exitCode);
    if (!file.IsOpen() || !platform.AppendFile(file.Get(), line.data(), line.size()))
        throw EAppError(JournalWriteError, run.File + ": " + LastErrorText());
}

} // namespace

int UndoRun(const TUndoRequest &request, TReport &report, const TStampContext &context,
            int32_t subSecondDigits) {
    const TJournalRun run = FindRun(ListJournals(JournalFolder()), request.Number);
    report.HeadingPending = false;
    report.Output.Out(std::string(LineEnd) + "実行 " + std::to_string(run.Number) + " (" +
                      LocalTimeText(run.Start) + ") を取り消します。" + LineEnd);
    const TPlatform &platform = Platform();
    for (auto it = run.Items.rbegin(); it != run.Items.rend(); ++it) {
        if (platform.InterruptRequested())
            throw EInterrupted();
        UndoItem(*it, request.Preview, report, context, subSecondDigits);
    }
    const int exitCode = report.ItemsKept ? 2 : 0;
    if (!request.Preview)
        MarkUndone(run, context.Times.Now, exitCode);
    return exitCode;
}

void ListRuns(TOutput &output) {
    const std::vector<TJournalFile> journals = ListJournals(JournalFolder());
    bool any = false;
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        const TJournalRun run = ReadJournal(*it);
        if (run.Items.empty())
            continue;
        any = true;
        const char *state = run.Undone                      ? "取り消し済み"
                            : !run.Ended || run.Interrupted ? "中断"
                                                            : "";
        const std::string start = LocalTimeText(run.Start);
        output.OutLine(
            FormatText("%6d  %s  %8d 項目  %-12s  %s",
                       {int64_t(run.Number), std::string_view(start), int64_t(run.Items.size()),
                        state, std::string_view(run.Folder)}));
        output.OutLine("        " + CommandText(run));
    }
    if (!any)
        output.OutLine("記録された実行はありません。");
}
