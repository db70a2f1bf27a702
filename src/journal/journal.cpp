#include "journal/journal.h"

#include "common/errors.h"
#include "common/option.h"

namespace {

// Journals are looked for by number: a run that finds its number taken by
// another one started at the same time takes the next.
constexpr int NumberAttempts = 100;
// Bytes of room the records waiting to be written keep between writes, at most.
constexpr size_t KeptBufferRoom = 256 * 1024;

// A journal that cannot be made: the run changes nothing.
const char *const CannotCreate = "ジャーナルを作成できません。何も変更していません";

std::string Reason() {
    return LastErrorText();
}

} // namespace

TJournalItem JournalItemOf(const TItemStamps &item, bool isFolder, std::string fullPath) {
    TJournalItem record;
    record.Path = std::move(fullPath);
    record.IsFolder = isFolder;
    record.LinkItself = item.LinkItself;
    record.VolumeId = item.VolumeId;
    record.FileId = item.FileId;
    for (TStampKind kind : AllStampKinds) {
        record.Old[kind] = TJournalStamp{item.OldValues[kind], item.OldNanos[kind]};
        if (item.Options.Kinds.Has(kind))
            record.New[kind] = TJournalStamp{item.NewValues[kind], item.NewNanos[kind]};
    }
    return record;
}

TJournal::~TJournal() {
    if (File)
        Platform().CloseFile(File);
}

void TJournal::Begin(TTimeValue start, const std::string &program,
                     const std::vector<std::string> &arguments) {
    const TPlatform &platform = Platform();
    Folder = JournalFolder();
    if (!platform.MakePrivateFolder(Folder))
        throw EAppError(CannotCreate, Folder + ": " + Reason());
    // Made now, or there before: either way the user's alone.
    JournalFolder();
    if (const TOwnership made = platform.OwnershipOf(Folder); made != owOwn)
        throw EAppError(CannotCreate,
                        Folder + ": " +
                            (made == owUnreadable ? Reason() : "フォルダではありません"));
    std::vector<TJournalFile> journals = ListJournals(Folder);
    uint64_t number = journals.empty() ? 1 : journals.back().Number + 1;
    // A number taken (by another run started at the same time, or by a name
    // in the way that is no journal) passes to the next.
    uint32_t firstCode = 0;
    std::string firstPath;
    for (int attempt = 0;; ++attempt, ++number) {
        FilePath = Folder + PathSeparator + JournalFileName(number);
        File = platform.OpenAppend(FilePath, true);
        if (File)
            break;
        if (attempt == 0) {
            firstCode = platform.LastErrorCode();
            firstPath = FilePath;
        }
        if (attempt + 1 == NumberAttempts)
            throw EAppError(CannotCreate, firstPath + ": " + platform.ErrorText(firstCode));
    }
    // Held until the run ends: -Undo and the pruning of other runs keep off.
    if (!platform.LockFile(File)) {
        const std::string reason = Reason();
        Finish(1, false);
        throw EAppError(CannotCreate, FilePath + ": " + reason);
    }
    // Its identity as the items' entries tell it, so that the run passes it by.
    TFindData folder;
    if (platform.ReadItem(nullptr, Folder, false, folder)) {
        FolderVolume = folder.VolumeId;
        FolderId = folder.FileId;
    }
    std::string current = platform.FullPathName(nullptr, ".");
    if (!Write(HeaderLines(start, program, current, arguments))) {
        const std::string reason = Reason();
        Finish(1, false);
        throw EAppError(CannotCreate, FilePath + ": " + reason);
    }
}

bool TJournal::Describe(const TItemStamps &item, bool isFolder, std::string &record,
                        std::string &reason) {
    record.clear();
    if (item.VolumeId == 0 && item.FileId == 0) {
        reason = "項目の識別情報が得られないため、取り消しのための記録ができません";
        return false;
    }
    // The stamps -Undo compares and writes back: those written, and the
    // creation stamp, which tells the item's birth.
    for (TStampKind kind : AllStampKinds)
        if ((item.Options.Kinds.Has(kind) || kind == skCreation) &&
            (item.InexactStamps & (1 << kind)) != 0) {
            reason = "日時が記録できる範囲の外にあるため、取り消しのための記録ができません";
            return false;
        }
    std::string head;
    std::string_view tail;
    if (!AbsoluteItemPathParts(item, head, tail) || head.size() + tail.size() == 0) {
        reason = "絶対パスが得られないため、取り消しのための記録ができません";
        return false;
    }
    AppendItemLine(record, JournalItemOf(item, isFolder, std::move(head)), tail);
    return true;
}

void TJournal::Append(std::string &&record) {
    // A record alone is taken as it is: a deep tree's long path is not
    // copied once more.
    if (Buffer.empty())
        Buffer.swap(record);
    else
        Buffer += record;
    ++WaitingCount;
}

void TJournal::Flush() {
    if (!File || Buffer.empty())
        return;
    if (!Write(Buffer))
        throw EAppError(JournalWriteError, FilePath + ": " + Reason());
    // The room of a few records of a deep tree's long paths is given back.
    if (Buffer.capacity() > KeptBufferRoom)
        std::string().swap(Buffer);
    else
        Buffer.clear();
    RecordedCount += WaitingCount;
    WaitingCount = 0;
}

bool TJournal::Write(const std::string &text) {
    return Platform().AppendFile(File, text.data(), text.size());
}

void TJournal::Finish(int exitCode, bool interrupted) noexcept {
    if (!File)
        return;
    Buffer.clear();
    WaitingCount = 0;
    const TPlatform &platform = Platform();
    if (RecordedCount != 0)
        Write(EndLine(exitCode, interrupted));
    platform.CloseFile(File);
    File = nullptr;
    // A run that changed nothing leaves nothing to take back.
    if (RecordedCount == 0)
        platform.RemoveFile(FilePath);
    try {
        PruneJournals(Folder, RecordedCount != 0 ? FilePath : std::string());
    } catch (...) {
    }
}

void PruneJournals(const std::string &folder, const std::string &keep) {
    const TPlatform &platform = Platform();
    const std::vector<TJournalFile> journals = ListJournals(folder);
    size_t runs = 0;
    uint64_t bytes = 0;
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        ++runs;
        bytes += it->Size;
        if (it->Path == keep || (runs <= JournalRunsKept && bytes <= JournalBytesKept))
            continue;
        // Removed under its lock: a run that still writes it holds that.
        TOwnership problem = owOwn;
        TAppendFile file(platform.OpenOwnFile(it->Path, problem));
        if (file.IsOpen() && platform.LockFile(file.Get()))
            platform.RemoveFile(it->Path);
    }
}
