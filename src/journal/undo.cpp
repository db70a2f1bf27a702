#include "journal/undo.h"

#include "common/errors.h"
#include "common/option.h"
#include "common/text.h"
#include "engine/fs_rounding.h"
#include "journal/journal.h"
#include "journal/journal_format.h"
#include "platform/platform.h"

#include <algorithm>
#include <memory>

namespace {

const char *const ChangedSinceTheRun = "実行の後で変更されています";
const char *const AnotherItem = "実行で変更した項目ではありません (別の項目に置き換えられています)";
const char *const DamagedRecord = "検査値の合わない記録です。この記録の項目は取り消しません";
// Marks written to the journal at once, at most.
constexpr size_t MarkBatch = 256;

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

std::string RunName(uint64_t number) {
    return "実行 " + std::to_string(number);
}

// A journal opened, locked and read: the lock keeps a run that still writes
// it, and another -Undo, away.
struct TOpenRun {
    std::unique_ptr<TAppendFile> File;
    TJournalRun Run;
};

// Opens and reads a journal; `locked` tells whether its lock was had (false:
// its run is still going, and nothing was read).
TOpenRun OpenRun(const TJournalFile &file, bool &locked) {
    TOpenRun open;
    open.File = std::make_unique<TAppendFile>(OpenJournal(file.Path));
    const TPlatform &platform = Platform();
    locked = platform.LockFile(open.File->Get());
    if (!locked) {
        if (platform.LastErrorCode() != LockedCode)
            throw EAppError("ジャーナルを読めません", file.Path + ": " + LastErrorText());
        return open;
    }
    open.Run = ReadJournal(file, open.File->Get());
    return open;
}

bool TakenBack(const TJournalRun &run) {
    return run.Undone || !run.Open();
}

// The journal of the run asked for, locked.
TOpenRun FindRun(const std::vector<TJournalFile> &journals, uint64_t number) {
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        if (number != 0 && it->Number != number)
            continue;
        bool locked = false;
        TOpenRun open = OpenRun(*it, locked);
        if (!locked)
            throw EAppError(RunName(it->Number) + " はまだ続いています", it->Path);
        const TJournalRun &run = open.Run;
        if (run.OldFormat)
            throw EAppError(RunName(it->Number) + " のジャーナルは以前の形式のため取り消せません",
                            it->Path + ": 検査値と項目の識別情報がありません");
        if (number != 0 && TakenBack(run) && !run.Items.empty())
            throw EAppError(RunName(number) + " は取り消し済みです");
        if (!run.Items.empty() && !TakenBack(run))
            return open;
        if (number != 0)
            break;
    }
    if (number != 0)
        throw EAppError(RunName(number) + " の記録がありません");
    throw EAppError("取り消せる実行がありません");
}

std::string FolderPart(const std::string &path, std::string &name) {
    const size_t cut = path.find_last_of(HasDriveSyntax ? "\\/" : "/");
    if (cut == std::string::npos) {
        name = path;
        return std::string();
    }
    name = path.substr(cut + 1);
    // The root keeps its separator.
    return path.substr(0,
                       cut == 0 || (HasDriveSyntax && cut == 2 && path[1] == ':') ? cut + 1 : cut);
}

// Whether the present stamp is the one the run wrote, as the volume keeps it.
bool StillWritten(const TJournalItem &record, TStampKind kind, const TJournalStamp &present,
                  const TItemPlace &place, uint64_t volumeId, const TStampContext &context) {
    TJournalStamp written = record.New[kind];
    if (RoundForFileSystem(record.Path, kind, written.Value, context.Volumes, volumeId,
                           place.Handle()))
        written.Nanos = 0;
    return present == written || present == record.New[kind];
}

enum TUndone : uint8_t { udTaken, udKept };

// One item back to the stamps it had, reached from the root as the walk
// reaches items (never through a link), and only where it is the item the
// run changed and still has every stamp the run wrote; the report as for
// any run.
TUndone UndoItem(const TJournalItem &record, bool preview, TReport &report,
                 const TStampContext &context, int32_t subSecondDigits) {
    const TPlatform &platform = Platform();
    TItemStamps item;
    item.Path = record.Path;
    item.FractionWidth = FractionWidthOf(subSecondDigits);
    item.Options.Preview = preview;
    auto failed = [&]() {
        item.Outcome = soFailed;
        item.ErrorCode = platform.LastErrorCode();
        ReportItem(report, item);
        return udKept;
    };
    std::string name;
    const std::string folderPath = FolderPart(record.Path, name);
    if (folderPath.empty() || name.empty()) {
        WarnItemKept(report, "Warn.: 変更できませんでした", record.Path, AnotherItem);
        return udKept;
    }
    const TFolderHandle opened = platform.OpenFolderNoFollow(folderPath);
    if (!opened)
        return failed();
    item.Place.Folder = std::make_shared<const TFolder>(opened);
    item.Place.Name = name;
    item.Place.FollowLink = false;
    TFindData entry;
    if (!platform.ReadItem(opened, name, false, entry))
        return failed();
    // A link that the run followed was named by its user: it is followed
    // again, to the item whose identity the journal holds.
    if (entry.IsLink && !record.LinkItself) {
        item.Place.FollowLink = true;
        if (!platform.ReadItem(opened, name, true, entry))
            return failed();
    }
    // Natively the birth, where the run found one, is part of the identity:
    // a number of a removed file may be given to a new one.
    const bool reborn = !HasDriveSyntax && record.New[skCreation].Value == 0 &&
                        record.Old[skCreation].Value != 0 &&
                        PresentStamp(entry, skCreation) != record.Old[skCreation];
    // Linux gives an item of a FAT or exFAT volume another number at every
    // mount (and whenever it leaves the cache), and a card may come back as
    // another device: there the birth alone tells the item.
    const bool numbersHold =
        HasDriveSyntax || !IsFatFamilyVolume(record.Path, context.Volumes, entry.VolumeId, opened);
    if (entry.IsFolder != record.IsFolder ||
        (entry.IsLink && !item.Place.FollowLink) != record.LinkItself ||
        (numbersHold && (entry.VolumeId != record.VolumeId || entry.FileId != record.FileId)) ||
        reborn) {
        WarnItemKept(report, "Warn.: 変更できませんでした", record.Path, AnotherItem);
        return udKept;
    }
    // Every stamp the run wrote is still there (or, after a take-back that
    // was stopped, every one it had before). Natively the creation stamp is
    // the item's birth, part of its identity, also where the run did not
    // write it; on Windows the file index (with its sequence number on NTFS)
    // tells the item, and a creation stamp not written may follow the others
    // (Wine derives it from them).
    bool written = true, restored = true;
    for (TStampKind kind : AllStampKinds) {
        const bool wrote = record.New[kind].Value != 0;
        if (!wrote && (kind != skCreation || HasDriveSyntax || record.Old[kind].Value == 0))
            continue;
        const TJournalStamp present = PresentStamp(entry, kind);
        const bool exact = (entry.InexactStamps & (1 << kind)) == 0;
        if (!wrote) {
            written = written && exact && present == record.Old[kind];
            continue;
        }
        written = written && exact &&
                  StillWritten(record, kind, present, item.Place, entry.VolumeId, context);
        restored = restored && exact && present == record.Old[kind];
    }
    if (!written && !restored) {
        WarnItemKept(report, "Warn.: 変更できませんでした", record.Path, ChangedSinceTheRun);
        return udKept;
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
    return item.Outcome == soFailed ? udKept : udTaken;
}

// Appends marks to the journal held open.
void AppendMarks(const TJournalRun &run, TFileHandle file, std::string &marks) {
    if (marks.empty())
        return;
    if (!Platform().AppendFile(file, marks.data(), marks.size()))
        throw EAppError(JournalWriteError, run.File + ": " + LastErrorText());
    marks.clear();
}

} // namespace

int UndoRun(const TUndoRequest &request, TReport &report, const TStampContext &context,
            int32_t subSecondDigits) {
    const TOpenRun open = FindRun(ListJournals(JournalFolder()), request.Number);
    const TJournalRun &run = open.Run;
    const TFileHandle file = open.File->Get();
    const TPlatform &platform = Platform();
    // A line cut short by a failed write goes before anything is appended.
    if (!request.Preview && run.CutLastLine && !platform.TruncateFile(file, run.WholeSize))
        throw EAppError(JournalWriteError, run.File + ": " + LastErrorText());
    report.HeadingPending = false;
    report.Output.Out(std::string(LineEnd) + RunName(run.Number) + " (" + LocalTimeText(run.Start) +
                      ") を取り消します。" + LineEnd);
    for (size_t line : run.Damaged)
        WarnItemKept(report, "Warn.: 変更できませんでした",
                     run.File + " の " + std::to_string(line) + " 行目", DamagedRecord);
    std::string marks;
    bool remains = !run.Damaged.empty();
    for (auto it = run.Items.rbegin(); it != run.Items.rend(); ++it) {
        if (run.IsTaken(*it))
            continue;
        if (platform.InterruptRequested()) {
            if (!request.Preview)
                AppendMarks(run, file, marks);
            throw EInterrupted();
        }
        if (UndoItem(*it, request.Preview, report, context, subSecondDigits) == udKept)
            remains = true;
        else if (!request.Preview)
            marks += TakenLine(it->Line);
        if (marks.size() >= MarkBatch * 16)
            AppendMarks(run, file, marks);
    }
    const int exitCode = report.ItemsKept ? 2 : 0;
    if (!request.Preview) {
        // Taken back only when nothing remains to take back.
        if (!remains)
            marks += UndoneLine(context.Times.Now, exitCode);
        AppendMarks(run, file, marks);
    }
    return exitCode;
}

void ListRuns(TOutput &output) {
    const std::vector<TJournalFile> journals = ListJournals(JournalFolder());
    bool any = false;
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        bool locked = false;
        const TOpenRun open = OpenRun(*it, locked);
        const TJournalRun &run = open.Run;
        if (locked && run.OldFormat) {
            any = true;
            output.OutLine(FormatText("%6d  以前の形式のジャーナルです (取り消せません)",
                                      {int64_t(it->Number)}));
            continue;
        }
        if (locked && run.Items.empty())
            continue;
        any = true;
        if (!locked) {
            output.OutLine(FormatText("%6d  実行中", {int64_t(it->Number)}));
            continue;
        }
        const char *state = TakenBack(run)                  ? "取り消し済み"
                            : !run.Taken.empty()            ? "一部取り消し"
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
