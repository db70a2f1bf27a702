#pragma once
// The journal's files: where they are, what a line holds, and reading them
// back.
//
// One file per run that changes stamps, named "run-<number>.txt" in the state
// folder, numbered upwards. Text, one record a line, fields separated by TAB,
// in the system code page (UTF-8 natively); in a name or argument every byte
// below 32, DEL and "%" is written "%" and two hexadecimal digits, so that
// any byte survives and no field holds a TAB or a line break. Every line ends
// with the CRC-32 of the text before it ("#" and eight hexadecimal digits): a
// line that fails it is never trusted.
//
//   kelvard journal 2                                          #<crc>
//   start    2024-01-15T12:00:00.123456700Z                    #<crc>
//   program  kelvard                                           #<crc>
//   folder   /home/ann/work                                    #<crc>
//   command  -r  -d2020-01-01  x/*.txt                         #<crc>
//   item     f  <old w> <old c> <old a>  <new w> <new c> <new a>  <volume>:<file>  <path>  #<crc>
//   ...
//   end      <exit code>  done | interrupted                   #<crc>
//   taken    <line>                                            #<crc>
//   undone   <time>  <exit code>                               #<crc>
//
// Stamps are UTC with nine sub-second digits; "-" is no stamp (old) or a
// kind the run did not write (new); a stamp outside the years 1601 to 9999
// is its signed tick count ("@-123.45"). The type is "f" (file) or "d"
// (folder), followed by "l" for a symbolic link taken as itself; the item's
// identity is its volume's and its own number (device and inode natively).
// An item's record is in the file before the item changes. -Undo appends a
// "taken" line for each item it took back (or found with the stamps it had
// before the run), naming the line of its record, and "undone" once every
// item is.

#include "common/timevalue.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A stamp as the journal keeps it: its time value (0: none) and, natively,
// the nanoseconds below its last 100-ns tick.
struct TJournalStamp {
    TTimeValue Value = 0;
    uint8_t Nanos = 0;
    bool operator==(const TJournalStamp &) const = default;
};

// The record of one item about to be changed.
struct TJournalItem {
    std::string Path; // absolute
    bool IsFolder = false;
    bool LinkItself = false;           // a symbolic link whose own stamps were changed
    TJournalStamp Old[3], New[3];      // by stamp kind; New: none for a kind not written
    uint64_t VolumeId = 0, FileId = 0; // the item's identity
    size_t Line = 0;                   // of the journal, counted from 1 (when read back)
};

// One run as its journal tells it.
struct TJournalRun {
    uint64_t Number = 0;
    std::string File; // the journal's path
    TTimeValue Start = 0;
    std::string Program, Folder;
    std::vector<std::string> Arguments;
    std::vector<TJournalItem> Items;
    bool Ended = false; // the run wrote its outcome (a run killed did not)
    int ExitCode = 0;
    bool Interrupted = false;
    bool Undone = false; // taken back by -Undo
    // The lines of the items that -Undo took back, ascending.
    std::vector<size_t> Taken;
    // Lines that failed their check (or, with a valid check, cannot be read).
    std::vector<size_t> Damaged;
    // A journal of the earlier format, which kept neither checks nor identities.
    bool OldFormat = false;
    // The bytes up to the end of the last whole line, and whether a line
    // without its line end follows (a write cut short).
    size_t WholeSize = 0;
    bool CutLastLine = false;

    bool IsTaken(const TJournalItem &item) const;
    // Items neither taken back nor damaged remain, or a damaged record.
    bool Open() const;
};

// Retention: the newest runs are kept, at most this many and this many bytes
// of journal together; the run that writes is always kept.
inline constexpr size_t JournalRunsKept = 50;
inline constexpr uint64_t JournalBytesKept = 200ULL * 1024 * 1024;

// Line texts.
std::string EscapeField(const std::string &text);
void AppendEscaped(std::string &result, std::string_view text);
bool UnescapeField(const std::string &field, std::string &text);
std::string StampField(const TJournalStamp &stamp);
bool ReadStampField(const std::string &field, TJournalStamp &stamp);
std::string HeaderLines(TTimeValue start, const std::string &program, const std::string &folder,
                        const std::vector<std::string> &arguments);
std::string ItemLine(const TJournalItem &item);
// The same appended to `text`; the item's path is its Path followed by
// `pathTail` (a deep tree's path is not put together twice).
void AppendItemLine(std::string &text, const TJournalItem &item, std::string_view pathTail = {});
std::string EndLine(int exitCode, bool interrupted);
std::string TakenLine(size_t line);
std::string UndoneLine(TTimeValue when, int exitCode);
// The CRC-32 of a text.
uint32_t Crc32(const char *data, size_t size, uint32_t crc = 0);

// The journal file of run `number` in `folder`, and the number a file name
// stands for (0: no journal's name).
std::string JournalFileName(uint64_t number);
uint64_t JournalNumber(const std::string &fileName);

// Reads a journal's text; false when it is none. A last line without its line
// end (the run was killed while writing it) is left out: its item was not
// changed yet. A line that fails its check is left out and named in Damaged.
// A journal of the earlier format gives only OldFormat.
bool ParseJournal(const std::string &text, TJournalRun &run);

// The journals in `folder` (the state folder), with their file sizes, by
// number, oldest first; empty when the folder does not exist.
struct TJournalFile {
    uint64_t Number = 0;
    std::string Path;
    uint64_t Size = 0;
};
std::vector<TJournalFile> ListJournals(const std::string &folder);

// The error of a journal that cannot be written.
inline constexpr const char *JournalWriteError = "ジャーナルに書き込めません";

// The state folder; raises EAppError when the system gives none, or when it
// or the folder above it is not the user's alone (a link, another owner's,
// writable by others). A folder that does not exist yet passes.
std::string JournalFolder();
// Reads a journal through a file opened for it (see OpenJournal); raises
// EAppError when it cannot be read or is no journal.
TJournalRun ReadJournal(const TJournalFile &file, TFileHandle handle);
// Opens a journal of the user's own for reading and appending; raises
// EAppError naming the file and what is wrong.
TFileHandle OpenJournal(const std::string &path);
