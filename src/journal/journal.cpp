#include "journal/journal.h"

#include "common/errors.h"
#include "common/option.h"

namespace {

// Journals are looked for by number: a run that finds its number taken by
// another one started at the same time takes the next.
constexpr int NumberAttempts = 100;

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
    std::vector<TJournalFile> journals = ListJournals(Folder);
    uint64_t number = journals.empty() ? 1 : journals.back().Number + 1;
    for (int attempt = 0;; ++attempt) {
        FilePath = Folder + PathSeparator + JournalFileName(number);
        File = platform.OpenAppend(FilePath, true);
        if (File)
            break;
        const uint32_t code = platform.LastErrorCode();
        journals = ListJournals(Folder);
        const bool taken = !journals.empty() && journals.back().Number >= number;
        if (!taken || attempt + 1 == NumberAttempts)
            throw EAppError(CannotCreate, FilePath + ": " + platform.ErrorText(code));
        number = journals.back().Number + 1;
    }
    std::string folder = platform.FullPathName(nullptr, ".");
    if (!Write(HeaderLines(start, program, folder, arguments))) {
        const std::string reason = Reason();
        Finish(1, false);
        throw EAppError(CannotCreate, FilePath + ": " + reason);
    }
}

bool TJournal::Describe(const TItemStamps &item, bool isFolder, std::string &record) {
    std::string fullPath = AbsoluteItemPath(item);
    record.clear();
    if (fullPath.empty())
        return false;
    AppendItemLine(record, JournalItemOf(item, isFolder, std::move(fullPath)));
    return true;
}

void TJournal::Append(const std::string &record) {
    Buffer += record;
    ++WaitingCount;
}

bool TJournal::Append(const TItemStamps &item, bool isFolder) {
    std::string record;
    if (!Describe(item, isFolder, record))
        return false;
    Append(record);
    return true;
}

void TJournal::Flush() {
    if (!File || Buffer.empty())
        return;
    if (!Write(Buffer))
        throw EAppError(JournalWriteError, FilePath + ": " + Reason());
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
    const std::vector<TJournalFile> journals = ListJournals(folder);
    size_t runs = 0;
    uint64_t bytes = 0;
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        ++runs;
        bytes += it->Size;
        if (it->Path != keep && (runs > JournalRunsKept || bytes > JournalBytesKept))
            Platform().RemoveFile(it->Path);
    }
}
