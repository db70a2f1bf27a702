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
// "\"; the native build has "/" only.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
inline constexpr bool HasDriveSyntax = true;
inline constexpr const char *LineEnd = "\r\n";
#else
inline constexpr char PathSeparator = '/';
inline constexpr bool HasDriveSyntax = false;
inline constexpr const char *LineEnd = "\n";
#endif

// One directory entry as the directory search reports it. Stamps are time
// values (100-ns ticks since 1601-01-01 UTC); 0 where the file system keeps none.
struct TFindData {
    std::string Name; // the entry's own (long) name, without folder
    bool IsFolder = false;
    uint64_t CreationTime = 0;
    uint64_t LastAccessTime = 0;
    uint64_t LastWriteTime = 0;
    // Identity of the item where the platform knows it (device and inode),
    // 0 and 0 elsewhere: lets a recursive search notice a folder it is
    // already inside.
    uint64_t VolumeId = 0;
    uint64_t FileId = 0;
    // The system code page has no exact form of the name: Name shows each
    // missing character as the code page's default character, and the entry
    // must never be looked for by that text (it may match another item). The
    // table keeps the reason as it does for a failing call.
    bool NameUnrepresentable = false;
};

// A running directory search and an open registry key. Each table defines
// the state behind them in its own way; the two types cannot be mixed up.
struct TSearchState;
using TSearchHandle = TSearchState *; // nullptr: no search
struct TRegKeyState;
using TRegHandle = TRegKeyState *; // nullptr: no key

enum TStream : int { stdOutput = 1, stdError = 2 };

// What a registry string query found.
enum TRegValueState : uint8_t {
    rvEmpty,     // no such value, or a value of zero length
    rvString,    // a string value (REG_SZ or REG_EXPAND_SZ, not expanded)
    rvWrongType, // a value of another type
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
    // The whole command line (Windows; false elsewhere) in the system code
    // page, and one flag per byte of it: true for the bytes of a character that
    // stands in for one the code page cannot hold (the default character).
    bool (*CommandLineText)(std::string &text, std::vector<bool> &standIn);
    std::vector<std::string> (*Arguments)(); // arguments after the program (POSIX)
    bool (*GetEnv)(const std::string &name, std::string &value); // false: unset

    // Text in the system code page.
    bool (*IsLeadByte)(unsigned char c);               // first byte of a double-byte character
    std::string (*LowerCase)(const std::string &text); // by the user's locale
    bool (*SameName)(const std::string &a, const std::string &b); // file names equal
    std::string (*ToOemText)(const std::string &text);            // for the last-resort report

    // Standard streams, unbuffered: false when the write failed.
    bool (*WriteStream)(TStream stream, const char *data, size_t size);

    // Directory search: the pattern may hold "*" and "?" in its last component.
    // FindFirstNames is the same search for a caller that needs only the
    // entries' names, folder bits and, for folders, identities: the stamps may
    // be left 0, which spares the native build one status call per file.
    // FindNext also returns false at the end of the listing.
    TSearchHandle (*FindFirst)(const std::string &pattern, TFindData &entry);
    TSearchHandle (*FindFirstNames)(const std::string &pattern, TFindData &entry);
    bool (*FindNext)(TSearchHandle search, TFindData &entry);
    void (*FindClose)(TSearchHandle search);

    // Files and volumes.
    // Opens the item and writes the given stamps in one call; a null pointer
    // leaves that stamp alone. False: the item was not changed.
    bool (*SetItemTimes)(const std::string &path, bool isFolder, const uint64_t *creation,
                         const uint64_t *lastAccess, const uint64_t *lastWrite);
    // File-system name of a volume: `where` is a root such as "C:\" (empty: the
    // volume of the current folder) on Windows, any path on it elsewhere.
    bool (*FileSystemName)(const std::string &where, std::string &name);
    std::string (*FullPathName)(const std::string &path); // empty when it fails
    bool (*ShortPathName)(const std::string &path, std::string &shortPath);
    bool (*ReadWholeFile)(const std::string &path, std::string &data);

    // Processes: starts a program with a hidden window and waits until it has
    // ended. False: it could not be started.
    bool (*RunHiddenAndWait)(const std::string &commandLine);

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
    // next failure; and the system's own text for a code, in the system code
    // page, without line end or closing period (empty when it has none).
    uint32_t (*LastErrorCode)();
    std::string (*ErrorText)(uint32_t code);
};

// The table in use: the build's own unless a test installed another.
const TPlatform &Platform();
const TPlatform &NativePlatform();
void SetPlatform(const TPlatform *platform); // nullptr: back to the native one
// Changes whenever SetPlatform installs a table: a cache of what the platform
// answered keeps the generation it was filled in and is stale when that differs.
uint64_t PlatformGeneration();

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
    // A search for names and folder bits only (see FindFirstNames).
    struct NamesOnly {};
    TSearch(const std::string &pattern, TFindData &entry, NamesOnly)
        : TPlatformHandle(Platform().FindFirstNames(pattern, entry)) {}
    bool Started() const { return Handle != nullptr; }
    bool Next(TFindData &entry) { return Platform().FindNext(Handle, entry); }
};

// A registry key.
class TRegKey : public TPlatformHandle<TRegHandle, &TPlatform::RegClose> {
public:
    using TPlatformHandle::TPlatformHandle;
    bool IsOpen() const { return Handle != nullptr; }
};
