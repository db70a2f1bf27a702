#pragma once
// The platform boundary: every service of the operating system that the program
// uses, as one table of calls. The Windows build fills it from Win32
// (windows/), the native build from POSIX (unix/), and the unit tests install
// a fake one. Nothing outside this folder knows which operating system runs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Path syntax of the build: the Windows build knows drive prefixes ("C:",
// "\\server\share") and ends a folder part at "\", "/" or ":", and joins with
// "\"; the native build has "/" only. The Windows build writes stamps through
// the opened item, which may touch its access stamp, so a write that does not
// select that stamp puts the old one back; the native build writes without
// opening the item and leaves every stamp it was not asked to change alone. AccessDeniedCode is
// the system's error code for an item that may not be written.
// IsAbsenceCode tells a failed lookup's code that says nothing stands
// at the path (no such item, a file where a folder would be, a name the
// system cannot take) from one that says something there could not be read.
//
// Text inside the program is UTF-8 in both builds. The Windows build's
// streams are in the system code page (StreamsInCodePage): text is converted
// where it leaves (see WriteText), and a column of the report is as wide as
// a character's bytes in that code page; the native build writes UTF-8 as it
// stands.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
inline constexpr bool HasDriveSyntax = true;
inline constexpr bool StreamsInCodePage = true;
inline constexpr const char *LineEnd = "\r\n";
inline constexpr bool StampWriteOpensItem = true;
// The modification stamp on exFAT is cut to an even second, as on FAT: what
// the system's driver keeps has not been measured here.
inline constexpr bool ExFatWriteIn10ms = false;
inline constexpr uint32_t AccessDeniedCode = 5; // ERROR_ACCESS_DENIED
inline constexpr uint32_t LockedCode = 33;      // ERROR_LOCK_VIOLATION
inline bool IsAbsenceCode(uint32_t code) {
    // FILE_NOT_FOUND, PATH_NOT_FOUND, NO_MORE_FILES, BAD_NETPATH, BAD_NET_NAME,
    // INVALID_NAME, BAD_PATHNAME, DIRECTORY
    for (uint32_t absent : {2u, 3u, 18u, 53u, 67u, 123u, 161u, 267u})
        if (code == absent)
            return true;
    return false;
}
#else
inline constexpr char PathSeparator = '/';
inline constexpr bool HasDriveSyntax = false;
inline constexpr bool StreamsInCodePage = false;
inline constexpr const char *LineEnd = "\n";
inline constexpr bool StampWriteOpensItem = false;
// Linux's exFAT driver keeps the modification stamp in 10 ms steps (measured
// by scripts/fat_volumes.sh): a value read from such a volume is written back
// as it was.
inline constexpr bool ExFatWriteIn10ms = true;
inline constexpr uint32_t AccessDeniedCode = 13; // EACCES
inline constexpr uint32_t LockedCode = 11;       // EWOULDBLOCK
inline bool IsAbsenceCode(uint32_t code) {
    return code == 2 || code == 20; // ENOENT, ENOTDIR
}
#endif

// One directory entry as the directory search reports it. Stamps are time
// values (100-ns ticks since 1601-01-01 UTC); 0 where the file system keeps none.
struct TFindData {
    std::string Name; // the entry's own (long) name, without folder
    bool IsFolder = false;
    // The entry is a symbolic link (natively) or a reparse point such as a
    // junction (Windows): a walk never descends through it.
    bool IsLink = false;
    // The system's error code with which a write of this item's stamps is known to fail
    // before trying (0: none known): a read-only file; natively also an immutable or
    // append-only item, another owner's item when the program lacks the right to set
    // their stamps, an item on a read-only mount, and a link named by the operand whose
    // target is missing. Such an item keeps its stamps, in a preview too.
    uint32_t WriteRefusal = 0;
    uint64_t CreationTime = 0;
    uint64_t LastAccessTime = 0;
    uint64_t LastWriteTime = 0;
    // Natively, the nanoseconds below each stamp's last 100-ns tick (0 to 99); Windows
    // keeps none.
    uint8_t LastWriteNanos = 0, CreationNanos = 0, LastAccessNanos = 0;
    // The stamps whose time value does not hold what the system keeps
    // exactly (natively a stamp beyond the range of time values, or one that
    // reads as "none"): bit 1 << kind (modification 0, creation 1, access 2).
    uint8_t InexactStamps = 0;
    // Identity of the item where the platform knows it (device and inode;
    // on Windows volume serial number and file index), 0 and 0 elsewhere.
    uint64_t VolumeId = 0;
    uint64_t FileId = 0;
    // The program's text has no exact form of the name (Windows: the name holds an
    // unpaired surrogate, which UTF-8 cannot hold): Name shows each such unit as
    // U+FFFD, and the entry must never be looked for by that text.
    bool NameUnrepresentable = false;
    // Why the entry cannot be reached by its name, as the system's error code (0: it can),
    // such as a name that a path of this system cannot hold. Such an entry is reported as
    // kept with this reason and never looked up by its name.
    uint32_t NameRefusal = 0;
    // The listing holds this name more than once (Windows: two names that the
    // system lists alike, such as names that Wine shows with the same U+FFFD):
    // a lookup by the name reaches one of them at most, so neither is changed.
    bool NameListedTwice = false;
};

// A stamp to write: a time value and the nanoseconds below its last tick (0 to 99,
// ignored where the system keeps none).
struct TStampWrite {
    uint64_t Value = 0;
    uint8_t Nanos = 0;
};

// A running directory search, an open folder and an open registry key. Each
// table defines the state behind them in its own way; the types cannot be
// mixed up.
struct TSearchState;
using TSearchHandle = TSearchState *; // nullptr: no search
// As an argument, a null folder stands for the current folder: the name given
// with it may then be a whole path. Every path may be longer than the system
// takes in one call (natively PATH_MAX): its folders are then opened one piece
// at a time, each resolved as the system resolves a path.
struct TFolderState;
using TFolderHandle = TFolderState *; // nullptr: no folder, or the current one
struct TRegKeyState;
using TRegHandle = TRegKeyState *; // nullptr: no key
// A file of the program's own (its journal) open for appending.
struct TFileState;
using TFileHandle = TFileState *; // nullptr: no file
// A file open for reading its contents.
struct TReadState;
using TReadHandle = TReadState *; // nullptr: no file

// A regular file of a folder, as a listing of the program's own files gives it.
struct TFileListing {
    std::string Name;
    uint64_t Size = 0;
};

enum TStream : int { stdOutput = 1, stdError = 2 };

// Whether a file or folder of the program's own is the user's alone.
enum TOwnership : uint8_t {
    owOwn,         // a real folder (or a regular file) of the user, that no one else may write
    owMissing,     // nothing there
    owLink,        // a link or a reparse point
    owWrongType,   // no folder (or no regular file)
    owOtherOwner,  // another user's
    owOthersWrite, // others may write it (natively a group or other write bit)
    owUnreadable,  // it could not be asked (the reason kept)
};

// What a registry string query found.
enum TRegValueState : uint8_t {
    rvEmpty,     // no such value, or a value of zero length
    rvString,    // a string value (REG_SZ or REG_EXPAND_SZ, not expanded)
    rvWrongType, // a value of another type
    rvInexact,   // a string value whose text the program cannot hold exactly (an unpaired
                 // surrogate): the text shows each such unit as U+FFFD
};

// The tables are filled with designated initializers in the order of the
// slots below, so that two slots of the same signature cannot change places
// unnoticed. A call that reports failure (false, nullptr, -1, rvEmpty for a
// value that cannot be read) keeps the system's reason for LastErrorCode.
struct TPlatform {
    // Platform family and time.
    bool (*IsNTFamily)();                              // dwPlatformId == 2
    uint64_t (*SystemTimeNow)();                       // current UTC time value
    bool (*UtcToLocal)(uint64_t utc, uint64_t &local); // the offset in force now
    bool (*LocalToUtc)(uint64_t local, uint64_t &utc);

    // The running program and its environment.
    std::string (*ModuleFileName)(); // full path of the program file
    uint32_t (*ProgramBuild)();      // fourth number of the product version
    // The whole command line (Windows; false elsewhere), and one flag per byte
    // of it: true for the bytes of a character that stands in for one the
    // program's text cannot hold (U+FFFD for an unpaired surrogate).
    bool (*CommandLineText)(std::string &text, std::vector<bool> &standIn);
    std::vector<std::string> (*Arguments)(); // arguments after the program (POSIX)
    // An environment variable; false: unset. `exact` false: its value holds
    // what the program's text cannot hold, shown as U+FFFD.
    bool (*GetEnv)(const std::string &name, std::string &value, bool &exact);
    // How many files and folders the process may hold open at once.
    uint64_t (*OpenFileLimit)();
    // How many processors the program may run on at once.
    unsigned (*ProcessorCount)();

    // Text, by the system's rules.
    std::string (*LowerCase)(const std::string &text);            // by the user's locale
    bool (*SameName)(const std::string &a, const std::string &b); // file names equal
    std::string (*ToOemText)(const std::string &text);            // for the last-resort report
    // Text as the system code page holds it, as a file or a pipe gets it: each
    // character the code page lacks becomes "?" and its code point is added to
    // `lacked` (when given). Natively the text as it stands.
    std::string (*ToCodePage)(const std::string &text, std::vector<uint32_t> *lacked);
    // Text in the system code page as the program's text; false (the reason
    // kept) for bytes that are no text of the code page. Natively as it stands.
    bool (*FromCodePage)(const std::string &bytes, std::string &text);

    // Standard streams, unbuffered: false when the write failed. A write that
    // fails part-way into a regular file takes back the part it wrote, so
    // that the file ends where the write began (a cut line would read back
    // as another one). WriteStream writes bytes as they are.
    bool (*WriteStream)(TStream stream, const char *data, size_t size);
    // Whether the stream goes to a terminal (natively) or a console (Windows),
    // where a person reads it, rather than to a file or a pipe.
    bool (*IsTerminal)(TStream stream);
    // Writes the program's text: on a console every character as it is
    // (Windows: WriteConsoleW); to a file or a pipe in the system code page as
    // ToCodePage gives it, or, with `utf8`, as UTF-8. Natively as it stands.
    bool (*WriteText)(TStream stream, const char *text, size_t size, bool utf8);

    // Directory search: the pattern may hold "*" and "?" in its last component.
    // FindFirstIn searches an open folder for the names that `namePattern`
    // matches and needs only the entries' names, folder and link bits: the
    // stamps may be left 0, which spares the native build one status call per
    // file. With `followLinks` an entry that is a symbolic link has the folder
    // bit of what it points to, otherwise the link is no folder (natively).
    // FindNext also returns false at the end of the listing.
    TSearchHandle (*FindFirst)(const std::string &pattern, TFindData &entry);
    TSearchHandle (*FindFirstIn)(TFolderHandle folder, const std::string &namePattern,
                                 bool followLinks, TFindData &entry);
    bool (*FindNext)(TSearchHandle search, TFindData &entry);
    void (*FindClose)(TSearchHandle search);

    // Folders held open during a walk, so that every item below is reached
    // from its folder and no path is resolved from the start again: a folder
    // swapped for a link mid-run cannot redirect the walk, and no tree is too
    // deep. OpenFolder opens the folder that a path names ("" is the current
    // folder), following links as the path does; OpenSubFolder opens an
    // entry of an open folder without following a final symbolic link.
    // FolderIdentity gives the folder's device and inode (volume serial
    // number and file index on Windows; false where the platform does not
    // know them).
    TFolderHandle (*OpenFolder)(const std::string &path);
    TFolderHandle (*OpenSubFolder)(TFolderHandle parent, const std::string &name);
    void (*CloseFolder)(TFolderHandle folder);
    bool (*FolderIdentity)(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId);

    // Items, each named in its folder. `followLink` false: an item that is a
    // symbolic link is the link itself, with its own stamps.
    // ReadItem gives the item's entry with its stamps; a link named with
    // `followLink` whose target is missing gives the link's own entry.
    bool (*ReadItem)(TFolderHandle folder, const std::string &name, bool followLink,
                     TFindData &entry);
    // Writes the given stamps in one call; a null pointer leaves that stamp
    // alone. False: the item was not changed.
    bool (*SetItemTimes)(TFolderHandle folder, const std::string &name, bool isFolder,
                         bool followLink, const TStampWrite *creation,
                         const TStampWrite *lastAccess, const TStampWrite *lastWrite);
    // Whether SetItemTimes can write a creation stamp at all; false keeps the
    // reason for LastErrorCode.
    bool (*CanSetCreationTime)();
    // The item's absolute path, with the real folder's path where links are
    // resolved; empty when none can be had.
    std::string (*FullPathName)(TFolderHandle folder, const std::string &name);
    // Whether the item is a device, not a file or folder on a disk. A null
    // folder takes `name` as a path typed by the user: on Windows one that
    // the system reads as a device name (NUL, CON, COM1, ..., in any folder
    // and with any extension); a name in an open folder is taken as it stands
    // and names no device there. Natively a character or block device, a
    // FIFO or a socket, links followed. False when nothing stands there.
    bool (*IsDevice)(TFolderHandle folder, const std::string &name);

    // Volumes and files.
    // File-system name of a volume: `where` is a root such as "C:\" (empty: the
    // volume of the current folder) on Windows, any path on it elsewhere.
    // `folder`, when given, is an open folder on the volume: its own volume
    // is asked (on Windows through its handle, once per open folder; `where`
    // only where the handle cannot tell), natively `where` is not read.
    bool (*FileSystemName)(TFolderHandle folder, const std::string &where, std::string &name);
    // The offset from UTC, in seconds, of the local time in which the FAT
    // volume at `folder` or `where` (as for FileSystemName) keeps its stamps,
    // where the system tells one apart from the program's local time
    // (natively: the mount's time_offset= or tz=UTC, else the kernel's time
    // zone). Null, or false, where the volume keeps the program's local time.
    bool (*FatVolumeOffset)(TFolderHandle folder, const std::string &where, int32_t &offsetSeconds);
    bool (*ShortPathName)(const std::string &path, std::string &shortPath);
    bool (*ReadWholeFile)(const std::string &path, std::string &data);

    // Contents of files (the date a photo or video holds). OpenForReading
    // opens an item of an open folder (null: a path from the current folder)
    // for reading only, as the walk reaches it: a final symbolic link is
    // followed only with `followLink`. Anything but a regular file (a folder,
    // a device, a FIFO) is refused without reading from it, natively with
    // EINVAL, on Windows with ERROR_INVALID_FUNCTION; `size` gets the file's
    // length. ReadAt reads up to `size` bytes at `offset` and gives how many
    // it read (fewer only at the end of the file). LocalDateToUtc reads a
    // local date and time at the offset that local time has on that date
    // (daylight saving included), not at the one in force now.
    TReadHandle (*OpenForReading)(TFolderHandle folder, const std::string &name, bool followLink,
                                  uint64_t &size);
    bool (*ReadAt)(TReadHandle file, uint64_t offset, void *buffer, size_t size, size_t &read);
    void (*CloseReading)(TReadHandle file);
    bool (*LocalDateToUtc)(uint64_t local, uint64_t &utc);

    // Processes: starts a program with a hidden window, waits until it has
    // ended and gives its exit code. False: it could not be started. A
    // program that ends with an exit code other than 0 reports a failure by
    // it, as a system error code: that code is kept for LastErrorCode.
    bool (*RunHiddenAndWait)(const std::string &commandLine, uint32_t &exitCode);

    // The program's own files: its journal of the stamps it changes.
    // StateFolder gives the folder for them: natively $XDG_STATE_HOME/kelvard
    // (where that variable holds an absolute path), else
    // ~/.local/state/kelvard; on Windows %LOCALAPPDATA%\Varnhold\Kelvard.
    // False when there is no such place. MakePrivateFolder creates a folder
    // that only the user may enter (mode 0700 natively, whatever the umask),
    // and every missing folder above it; an existing folder is left as it is. OpenAppend opens a
    // file for writing at its end: with `create` a new file that only the user
    // may read and write (0600 natively, whatever the umask), failing when
    // the name exists; without it an existing file. AppendFile writes all of
    // `data` with the system's own write, so that a process killed afterwards
    // leaves it in the file; a write that fails part-way is taken back, so
    // that the file ends where it began. ListFiles gives the regular files of a folder with their
    // sizes.
    bool (*StateFolder)(std::string &path);
    bool (*MakePrivateFolder)(const std::string &path);
    TFileHandle (*OpenAppend)(const std::string &path, bool create);
    bool (*AppendFile)(TFileHandle file, const char *data, size_t size);
    void (*CloseFile)(TFileHandle file);
    bool (*ListFiles)(const std::string &folder, std::vector<TFileListing> &files);
    bool (*RemoveFile)(const std::string &path);

    // The program's own files kept to their user, and the items a journal
    // recorded reached again. OwnershipOf tells whether a folder is the
    // user's alone (not a link, owned by the user, no write bit for others;
    // Windows: no reparse point). OpenOwnFile opens an existing file for
    // reading and appending without following a link; it must be a regular
    // file of the user (otherwise null, with the problem in `problem`).
    // ReadOwnFile reads such a file whole; TruncateFile cuts it to `size`
    // bytes. LockFile takes an exclusive lock on a file of the program's own
    // that lasts until it is closed, and never waits: false with LockedCode
    // when another process holds it. OpenFolderNoFollow opens the folder
    // that an absolute path names one component at a time from the root,
    // never through a link (Windows: no folder on the way a reparse point,
    // and the folder's final path the one named).
    TOwnership (*OwnershipOf)(const std::string &path);
    TFileHandle (*OpenOwnFile)(const std::string &path, TOwnership &problem);
    bool (*ReadOwnFile)(TFileHandle file, std::string &data);
    bool (*TruncateFile)(TFileHandle file, uint64_t size);
    bool (*LockFile)(TFileHandle file);
    TFolderHandle (*OpenFolderNoFollow)(const std::string &path);

    // Interrupts (Ctrl+C; natively SIGINT and SIGTERM, on Windows CTRL_C_EVENT
    // and CTRL_BREAK_EVENT). After CatchInterrupts the first interrupt only
    // sets a flag that InterruptRequested reads, so that the run can end at a
    // point of its choosing; a second one ends the process as before.
    void (*CatchInterrupts)();
    bool (*InterruptRequested)();

    // Registry under the current user; key paths are written with "\" between
    // the keys and may begin with "\".
    TRegHandle (*RegOpenRead)(const std::string &path);  // read rights, narrower ones as fallback
    TRegHandle (*RegOpenWrite)(const std::string &path); // all access, existing key only
    TRegHandle (*RegCreate)(const std::string &path);    // all access, created when missing
    bool (*RegKeyExists)(const std::string &path);
    void (*RegClose)(TRegHandle key);
    TRegValueState (*RegQueryString)(TRegHandle key, const std::string &name, std::string &value);
    bool (*RegSetString)(TRegHandle key, const std::string &name, const std::string &value);
    bool (*RegSetDword)(TRegHandle key, const std::string &name, uint32_t value);
    int (*RegSubKeyCount)(TRegHandle key);          // -1: failed
    bool (*RegDeleteTree)(const std::string &path); // the key and all keys below it
    bool (*RegDeleteKey)(const std::string &path);  // a key without sub-keys

    // Why a call failed: the code that the last failing call of this table
    // kept (errno natively, a Win32 error code on Windows), valid until the
    // next failure; and the system's own text for a code, without line end or
    // closing period (empty when it has none).
    uint32_t (*LastErrorCode)();
    std::string (*ErrorText)(uint32_t code);
};

// The table in use: the build's own unless a test installed another.
const TPlatform &Platform();
const TPlatform &NativePlatform();
void SetPlatform(const TPlatform *platform); // nullptr: back to the native one

// The system's text for the reason of the last failing call of the table in use.
std::string LastErrorText();

// The native build's entry point hands its arguments over here.
void SetProgramArguments(int argc, char **argv);

// Owns a handle of the table in use and closes it on every path.
template <class THandle, void (*TPlatform::*Close)(THandle)> class TPlatformHandle {
public:
    explicit TPlatformHandle(THandle handle) : Handle(handle) {}
    ~TPlatformHandle() {
        if (Handle)
            (Platform().*Close)(Handle);
    }
    TPlatformHandle(const TPlatformHandle &) = delete;
    TPlatformHandle &operator=(const TPlatformHandle &) = delete;
    THandle Get() const { return Handle; }

protected:
    THandle Handle;
};

// A directory search.
class TSearch : public TPlatformHandle<TSearchHandle, &TPlatform::FindClose> {
public:
    TSearch(const std::string &pattern, TFindData &entry)
        : TPlatformHandle(Platform().FindFirst(pattern, entry)) {}
    // A search of an open folder for names, folder and link bits only.
    TSearch(TFolderHandle folder, const std::string &namePattern, bool followLinks,
            TFindData &entry)
        : TPlatformHandle(Platform().FindFirstIn(folder, namePattern, followLinks, entry)) {}
    bool Started() const { return Handle != nullptr; }
    bool Next(TFindData &entry) { return Platform().FindNext(Handle, entry); }
};

// An open folder.
class TFolder : public TPlatformHandle<TFolderHandle, &TPlatform::CloseFolder> {
public:
    using TPlatformHandle::TPlatformHandle;
    bool IsOpen() const { return Handle != nullptr; }
};

// A file of the program's own, open for appending.
class TAppendFile : public TPlatformHandle<TFileHandle, &TPlatform::CloseFile> {
public:
    using TPlatformHandle::TPlatformHandle;
    bool IsOpen() const { return Handle != nullptr; }
};

// A file open for reading its contents.
class TReadFile : public TPlatformHandle<TReadHandle, &TPlatform::CloseReading> {
public:
    using TPlatformHandle::TPlatformHandle;
    bool IsOpen() const { return Handle != nullptr; }
};

// A registry key.
class TRegKey : public TPlatformHandle<TRegHandle, &TPlatform::RegClose> {
public:
    using TPlatformHandle::TPlatformHandle;
    bool IsOpen() const { return Handle != nullptr; }
};
