#pragma once
// The calls of the POSIX platform table, by service.

#include "platform/platform.h"

#include <cerrno>

namespace posix {

// The reason of the last failing call of the table: an errno value.
inline thread_local uint32_t KeptError = 0;

// Keeps `code` as the reason of a failing call and gives back `result`. A
// caller that cleans up after a failure passes the errno it saved before.
template <class T> T Failed(T result, int code = errno) {
    KeptError = uint32_t(code);
    return result;
}

// Time values from POSIX times.
inline constexpr int64_t EpochDifferenceSeconds = 11644473600LL; // 1601 to 1970
uint64_t TimespecToValue(int64_t seconds, int64_t nanoseconds);
// The same, false where the time value cannot hold it exactly: beyond the
// ticks of a signed 64-bit number (a stamp before 1601 is a negative tick
// count, held as its two's complement), or 1601-01-01 00:00:00.0000000 itself,
// whose value 0 reads as no stamp.
bool ExactTimespecValue(int64_t seconds, int64_t nanoseconds, uint64_t &value);
// The nanoseconds of a POSIX time below its last 100-ns tick.
inline uint8_t NanosBelowTick(int64_t nanoseconds) {
    return uint8_t(nanoseconds % 100);
}

// Text and descriptors (posix_platform.cpp).
std::string AsciiLower(const std::string &text);
// Writes all of `data`, going on after interrupts; false with errno set.
// `written`, when given, gets the number of bytes written, also on failure.
bool WriteAll(int fd, const char *data, size_t size, size_t *written = nullptr);

// Files and folders (posix_files.cpp).
TSearchHandle FindFirst(const std::string &pattern, TFindData &entry);
TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool followLinks,
                          TFindData &entry);
bool FindNext(TSearchHandle search, TFindData &entry);
void FindClose(TSearchHandle search);
TFolderHandle OpenFolder(const std::string &path);
TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name);
void CloseFolder(TFolderHandle folder);
bool FolderIdentity(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId);
bool ReadItem(TFolderHandle folder, const std::string &name, bool followLink, TFindData &entry);
bool SetItemTimes(TFolderHandle folder, const std::string &name, bool isFolder, bool followLink,
                  const TStampWrite *creation, const TStampWrite *lastAccess,
                  const TStampWrite *lastWrite);
bool CanSetCreationTime();
std::string FullPathName(TFolderHandle folder, const std::string &name);
bool IsDevice(TFolderHandle folder, const std::string &name);
bool FileSystemName(TFolderHandle folder, const std::string &where, std::string &name);
bool FatVolumeOffset(TFolderHandle folder, const std::string &where, int32_t &offsetSeconds);
// The target of a link in full, whatever its length; false with errno set.
bool ReadLink(const std::string &path, std::string &target);
TReadHandle OpenForReading(TFolderHandle folder, const std::string &name, bool followLink,
                           uint64_t &size);
bool ReadAt(TReadHandle file, uint64_t offset, void *buffer, size_t size, size_t &read);
void CloseReading(TReadHandle file);
bool ShortPathName(const std::string &path, std::string &shortPath);
bool ReadWholeFile(const std::string &path, std::string &data);
bool RunHiddenAndWait(const std::string &commandLine, uint32_t &exitCode);
// Wildcard match of one name: "*" and "?" (one character: one UTF-8 sequence,
// or one byte that starts none), case-sensitive; "*.*" matches every name.
bool MatchWildcard(const std::string &pattern, const std::string &name);

// The program's own files and interrupts (posix_state.cpp).
bool StateFolder(std::string &path);
bool MakePrivateFolder(const std::string &path);
TFileHandle OpenAppend(const std::string &path, bool create);
bool AppendFile(TFileHandle file, const char *data, size_t size);
void CloseFile(TFileHandle file);
bool ListFiles(const std::string &folder, std::vector<TFileListing> &files);
bool RemoveFile(const std::string &path);
TOwnership OwnershipOf(const std::string &path);
TFileHandle OpenOwnFile(const std::string &path, TOwnership &problem);
bool ReadOwnFile(TFileHandle file, std::string &data);
bool TruncateFile(TFileHandle file, uint64_t size);
bool LockFile(TFileHandle file);
TFolderHandle OpenFolderNoFollow(const std::string &path);
void CatchInterrupts();
bool InterruptRequested();
// The user's home folder: HOME where it is absolute, else the password
// database's; empty (errno ENOENT) when neither gives one.
std::string HomeFolder();

// The registry as a folder tree (posix_registry.cpp).
TRegHandle RegOpenRead(const std::string &path);
TRegHandle RegOpenWrite(const std::string &path);
TRegHandle RegCreate(const std::string &path);
bool RegKeyExists(const std::string &path);
void RegClose(TRegHandle key);
TRegValueState RegQueryString(TRegHandle key, const std::string &name, std::string &value);
bool RegSetString(TRegHandle key, const std::string &name, const std::string &value);
bool RegSetDword(TRegHandle key, const std::string &name, uint32_t value);
int RegSubKeyCount(TRegHandle key);
bool RegDeleteTree(const std::string &path);
bool RegDeleteKey(const std::string &path);
// A key or value name as it is written on disk: "%" and "/" as %25 and %2F,
// a leading "." as %2E.
std::string EscapeName(const std::string &name);
// What a string query finds in the contents of a value's file.
TRegValueState ReadStringValue(const std::string &content, std::string &value);

} // namespace posix
