#pragma once
// The journal of a run: before an item's stamps change, a record of the item
// (its absolute path, the stamps it had and those to be written) is in a file
// of the state folder, so that -Undo can set every stamp back, also after a
// run that was killed.
//
// The run begins the journal before it changes anything, appends a record
// for each item about to be changed, flushes the records (one write of the
// system) before it writes those items, and finishes the journal with its
// outcome on every path. Not thread-safe: one thread appends and flushes.

#include "common/item_stamps.h"
#include "common/timevalue.h"
#include "journal/journal_format.h"
#include "platform/platform.h"

#include <cstddef>
#include <string>
#include <vector>

class TJournal {
public:
    TJournal() = default;
    ~TJournal();
    TJournal(const TJournal &) = delete;
    TJournal &operator=(const TJournal &) = delete;

    // Creates the journal of a run that started at `start`, as the program
    // `program` with `arguments` (the command line after the program), in
    // the state folder; raises EAppError, with the reason, when it cannot.
    void Begin(TTimeValue start, const std::string &program,
               const std::vector<std::string> &arguments);
    // The run keeps a journal: Begin succeeded and Finish was not called yet.
    bool Active() const { return File != nullptr; }

    // The record of an item about to be changed, from what preparing it
    // read and computed (OldValues, and NewValues of the kinds selected), as
    // one line of the journal; on any thread. False, with the reason, when
    // no record could give the item back: its absolute path or its identity
    // cannot be had, or a stamp that it would need back has no exact value.
    // The item must then keep its stamps.
    static bool Describe(const TItemStamps &item, bool isFolder, std::string &record,
                         std::string &reason);
    // Adds a record that Describe made to those waiting for Flush, taking its
    // text.
    void Append(std::string &&record);
    // Whether an item of this identity is the journal's folder, which the run
    // never stamps (0 and 0: unknown, never).
    bool IsOwnFolder(uint64_t volumeId, uint64_t fileId) const {
        return (volumeId != 0 || fileId != 0) && volumeId == FolderVolume && fileId == FolderId;
    }
    // Records appended and not flushed yet.
    size_t Waiting() const { return WaitingCount; }
    // Writes the waiting records to the file; raises EAppError, with the
    // reason, when it cannot (their items must then keep their stamps).
    void Flush();

    // Writes the run's outcome and closes the file; a journal without any
    // record goes again, and the oldest journals beyond what is kept are
    // removed. Records still waiting are dropped: their items were not
    // written. Never raises: a journal without its outcome reads like that of
    // a killed run.
    void Finish(int exitCode, bool interrupted) noexcept;

    // The journal's path (empty before Begin).
    const std::string &Path() const { return FilePath; }
    // Records flushed so far.
    size_t Recorded() const { return RecordedCount; }

private:
    TFileHandle File = nullptr;
    std::string Folder, FilePath;
    std::string Buffer;
    size_t WaitingCount = 0, RecordedCount = 0;
    uint64_t FolderVolume = 0, FolderId = 0;

    bool Write(const std::string &text);
};

// Removes the oldest journals of `folder` beyond JournalRunsKept runs and
// JournalBytesKept bytes together; the journal `keep` stays in any case, and
// so does the journal of a run still going (locked), or one that is not
// the user's own.
void PruneJournals(const std::string &folder, const std::string &keep);

// The record of an item as the journal keeps it.
TJournalItem JournalItemOf(const TItemStamps &item, bool isFolder, std::string fullPath);
