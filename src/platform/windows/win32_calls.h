#pragma once
// The calls of the Windows platform table, by service, and what they share:
// the reason of a failing call and the conversions between the program's
// UTF-8 and the system's UTF-16.

#include "platform/platform.h"

#include <windows.h>
// The names of two slots, not the macros for the A and W calls.
#undef RegDeleteTree
#undef RegDeleteKey

#include <string>
#include <vector>

namespace win32 {

// The reason of the last failing call of the table: a Win32 error code.
inline thread_local DWORD KeptError = 0;

// Keeps `code` as the reason of a failing call and gives back `result`. A
// caller that cleans up after a failure passes the code it saved before.
template <class T> T Failed(T result, DWORD code = GetLastError()) {
    KeptError = code;
    return result;
}

// The table, the clock and the system's reasons (win32_platform.cpp).
bool IsNTFamily();
uint64_t ToValue(const FILETIME &ft);
FILETIME ToFileTime(uint64_t value);
uint64_t SystemTimeNow();
bool UtcToLocal(uint64_t utc, uint64_t &local);
bool LocalToUtc(uint64_t local, uint64_t &utc);
uint32_t LastErrorCode();
std::string ErrorText(uint32_t code);

// Text and the standard streams (win32_text.cpp).
bool ToWideFrom(UINT codePage, const std::string &text, std::wstring &wide);
bool ToWide(const std::string &text, std::wstring &wide);
bool FromWide(const wchar_t *wide, size_t length, std::string &text,
              std::vector<bool> *standIn = nullptr);
bool FromWide(const std::wstring &wide, std::string &text);
std::string LowerCase(const std::string &text);
bool SameName(const std::string &a, const std::string &b);
std::string ToOemText(const std::string &text);
std::string ToCodePage(const std::string &text, std::vector<uint32_t> *lacked);
bool FromCodePage(const std::string &bytes, std::string &text);
bool WriteStream(TStream stream, const char *data, size_t size);
bool IsTerminal(TStream stream);
bool WriteText(TStream stream, const char *text, size_t size, bool utf8);

// Files, folders and listings (win32_files.cpp).
bool WidePath(const std::string &path, std::wstring &wide, bool *added = nullptr);
bool ShortWidePath(const std::wstring &path, std::wstring &shortPath);
TSearchHandle FindFirst(const std::string &pattern, TFindData &entry);
TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool followLinks,
                          TFindData &entry);
bool FindNext(TSearchHandle search, TFindData &entry);
void FindCloseSearch(TSearchHandle search);
TFolderHandle OpenFolder(const std::string &path);
TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name);
void CloseFolder(TFolderHandle folder);
bool FolderIdentity(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId);
TFolderHandle OpenFolderNoFollow(const std::string &path);
bool ReadItem(TFolderHandle folder, const std::string &name, bool followLink, TFindData &entry);
bool SetItemTimes(TFolderHandle folder, const std::string &name, bool isFolder, bool followLink,
                  const TStampWrite *creation, const TStampWrite *lastAccess,
                  const TStampWrite *lastWrite);
bool CanSetCreationTime();
std::string FullPathNameAt(TFolderHandle folder, const std::string &name);
bool IsDevice(TFolderHandle folder, const std::string &name);
bool FileSystemName(TFolderHandle folder, const std::string &where, std::string &name);
bool ShortPathName(const std::string &path, std::string &shortPath);
bool ReadWholeFile(const std::string &path, std::string &data);

// The program's own process and the processes it starts (win32_process.cpp).
std::string ModuleFileName();
uint32_t ProgramBuild();
bool CommandLineText(std::string &text, std::vector<bool> &standIn);
std::vector<std::string> Arguments();
uint64_t OpenFileLimit();
unsigned ProcessorCount();
bool RunHiddenAndWait(const std::string &commandLine, uint32_t &exitCode);

// The environment and the registry (win32_registry.cpp).
bool GetEnv(const std::string &name, std::string &value, bool &exact);
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

// The program's own files and interrupts (win32_state.cpp).
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
void CatchInterrupts();
bool InterruptRequested();

} // namespace win32
