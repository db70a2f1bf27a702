#pragma once
// An in-memory platform for unit tests: a file tree with all three stamps,
// volumes with file-system names, a registry, a clock, a time-zone offset, the
// platform family, captured streams, recorded process starts and failures on
// demand. Paths use the build's own separator; keys are the paths exactly as
// the program will pass them.

#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Failure codes in the numbering of the build's own system (Win32 error
// codes or errno values).
inline constexpr uint32_t FakeNotFound = 2; // ERROR_FILE_NOT_FOUND, ENOENT
inline constexpr uint32_t FakeAccessDenied = AccessDeniedCode;
inline constexpr uint32_t FakeNotAFile = HasDriveSyntax ? 1 : 22; // INVALID_FUNCTION, EINVAL
inline constexpr uint32_t FakeNoMoreFiles =
    HasDriveSyntax ? 18 : 61; // ERROR_NO_MORE_FILES, ENODATA

struct TFakeItem {
    bool IsFolder = false;
    bool IsLink = false;   // a link or junction: listed, never opened as a folder
    bool ReadOnly = false; // a file: refused beforehand with FakeAccessDenied, and not written
    // Any other refusal known beforehand (0: none): the entry tells it, and the
    // item is not written.
    uint32_t WriteRefusal = 0;
    uint64_t CreationTime = 0;
    uint64_t LastAccessTime = 0;
    uint64_t LastWriteTime = 0;
    // The nanoseconds below each stamp's last tick, as the native build keeps them.
    uint8_t CreationNanos = 0, LastAccessNanos = 0, LastWriteNanos = 0;
    bool FailWrite = false;  // SetItemTimes fails (in use, no permission ...) with FailCode
    bool FailSearch = false; // a folder whose entries cannot be searched (no permission)
    // Removed by another program as soon as a search has listed it.
    bool VanishWhenListed = false;
    // The listing reports the name as one the code page cannot hold (the
    // item's key then shows it as the listing would).
    bool NameUnrepresentable = false;
    // Identity of a folder (its inode, say): another item put in its place
    // has another one.
    uint64_t Id = 0;
    uint32_t NameRefusal = 0;     // the listing's reason why the name cannot be looked up
    bool NameListedTwice = false; // the listing holds the name twice
    bool IsDevice = false;        // a device, not a file on a disk
    // The stamps the entry reports as not held exactly (TFindData::InexactStamps).
    uint8_t InexactStamps = 0;
};

// One SetItemTimes call as the program made it.
struct TFakeWrite {
    std::string Path;
    bool IsFolder = false;
    bool FollowLink = true;
    bool HasCreation = false, HasAccess = false, HasWrite = false;
    uint64_t Creation = 0, Access = 0, Write = 0;
    uint8_t CreationNanos = 0, AccessNanos = 0, WriteNanos = 0;
};

struct TFakeRegValue {
    uint32_t Type = 1;    // 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY, 4 REG_DWORD
    std::string Data;     // strings without their terminating zero; a DWORD as 4 bytes
    bool Inexact = false; // a string the program cannot hold exactly: Data shows it
};

struct TFakeRegKey {
    std::map<std::string, TFakeRegValue> Values;   // by lower-case name
    std::map<std::string, std::string> ValueNames; // lower-case name -> name as written
};

struct TFakeState {
    // The code that the failures asked for below report, and the code that
    // the last failing call kept (what LastErrorCode answers).
    uint32_t FailCode = FakeAccessDenied;
    uint32_t LastError = 0;

    // Files and folders, by path; the order of the map is the listing order.
    std::map<std::string, TFakeItem> Items;
    std::string CurrentFolder; // for FullPathName of relative paths
    bool FullPathFails = false;
    int OpenFolders = 0;     // folders opened and not yet closed
    int PeakOpenFolders = 0; // the most that were open at once
    uint64_t LastId = 0;     // of the items added so far
    // File-system names, by the `where` argument of FileSystemName (a root
    // such as "C:\" or "" on Windows; any path in the native build: there
    // the longest key that begins the path wins).
    std::map<std::string, std::string> Volumes;
    std::string DefaultFileSystem = "NTFS";
    bool VolumeQueryFails = false;
    // The offset (seconds) that FatVolumeOffset gives; none: it fails.
    std::optional<int32_t> FatOffset;
    int VolumeQueries = 0;
    // FolderIdentity tells a folder's volume (by the key of Volumes that holds
    // it); otherwise 0, as entries give it.
    bool FoldersTellVolumes = false;

    bool IsNT = true;
    bool CanSetCreation = true; // false: CanSetCreationTime fails with FailCode
    uint64_t Now = 0;
    int64_t LocalOffset = 0; // ticks added to UTC to give local time

    std::string ModulePath;
    bool HasCommandLineText = false;
    std::string CommandLine;
    std::vector<bool> CommandLineStandIn; // flags for the bytes of CommandLine (missing: false)
    std::vector<std::string> Args;
    std::map<std::string, std::string> Env;
    std::set<std::string> InexactEnv; // variables whose value cannot be held exactly
    uint64_t OpenFileLimit = 1024;
    unsigned Processors = 1;                  // the fake serves one thread at a time
    std::map<std::string, std::string> Files; // contents for ReadWholeFile and OpenForReading
    bool FailOpenRead = false;                // OpenForReading fails with FailCode
    int OpenReads = 0;                        // files opened for reading and not yet closed
    int Reads = 0;                            // ReadAt calls
    // Local time on a date (LocalDateToUtc): LocalOffset, and SummerExtra more
    // for local values from SummerFrom up to SummerUntil.
    uint64_t SummerFrom = 0, SummerUntil = 0;
    int64_t SummerExtra = 0;
    std::map<std::string, std::string> ShortNames; // path -> short form
    uint32_t Build = 80;
    // The streams' code page (as in the Windows build): a stand-in for code page
    // 932 in which ASCII and half-width katakana (U+FF61 to U+FF9F) take one
    // byte, kana, CJK ideographs and full-width forms (U+3000 to U+30FF,
    // U+4E00 to U+9FFF, U+FF01 to U+FF60, U+FFE0 to U+FFE5) two, and every
    // other character is lacked. Off: text as it stands (the native build).
    bool CodePage = StreamsInCodePage;
    // FromCodePage refuses (with FailCode) a text that holds this (empty: none).
    std::string CodePageTextFails;

    std::string Out, Err;
    bool FailOut = false, FailErr = false;
    bool OutIsTerminal = false, ErrIsTerminal = false;
    bool OutUtf8 = false, ErrUtf8 = false; // the form of the last WriteText to each stream

    std::vector<TFakeWrite> Writes;
    std::vector<std::string> ProcessStarts;
    bool FailProcessStart = false;
    uint32_t ProcessExitCode = 0; // the exit code of every program started

    // The program's own files (its journal): their contents are kept in Files.
    std::string StateFolder;       // what StateFolder gives (set by the scope)
    bool NoStateFolder = false;    // StateFolder fails with FailCode
    std::set<std::string> Folders; // made by MakePrivateFolder
    // Sizes that ListFiles reports instead of those of the contents, by path.
    std::map<std::string, uint64_t> ListedSizes;
    bool FailMakeFolder = false, FailOpenAppend = false, FailRemove = false;
    int AppendsLeft = -1; // AppendFile calls that succeed before every later one fails (-1: all)
    int OpenFiles = 0;    // files opened for appending and not yet closed
    // What OwnershipOf tells of a folder and OpenOwnFile of a file, where it
    // is not the user's own (a folder of Folders, a file of Files, is).
    std::map<std::string, TOwnership> Ownership;
    // Files of the program's own that another process holds locked, and
    // those that this one locked (until they are closed).
    std::set<std::string> LockedElsewhere, LockedHere;
    // Interrupts: InterruptRequested answers true from its call number
    // InterruptAt on (0: never), once CatchInterrupts was called.
    bool InterruptsCaught = false;
    int InterruptAt = 0;
    // ... or once this many writes were made (0: never), as a signal that
    // comes while the run writes.
    size_t InterruptAfterWrites = 0;
    int InterruptChecks = 0;

    // Registry, by lower-case key path without a leading "\".
    std::map<std::string, TFakeRegKey> Registry;
    bool RegistryWritesFail = false;
    bool RegistryCreateFails = false;
    int OpenKeys = 0; // keys opened and not yet closed

    // Test setup.
    void AddFile(const std::string &path, uint64_t write = 0, uint64_t creation = 0,
                 uint64_t access = 0);
    void AddFolder(const std::string &path, uint64_t write = 0, uint64_t creation = 0,
                   uint64_t access = 0);
    TFakeItem &Item(const std::string &path);
    void AddRegKey(const std::string &path);
    void SetRegValue(const std::string &key, const std::string &name, uint32_t type,
                     const std::string &data, bool inexact = false);
    bool HasRegKey(const std::string &path) const;
    const TFakeRegValue *RegValue(const std::string &key, const std::string &name) const;
};

TFakeState &Fake();
// Installs a fresh fake platform; the destructor of the guard puts the
// native one back.
class TFakePlatformScope {
public:
    TFakePlatformScope();
    ~TFakePlatformScope();
};

// Joins path components with the build's separator.
std::string FakePath(std::initializer_list<std::string> parts);
