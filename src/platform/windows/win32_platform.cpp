// The platform table of the Windows build: Win32 calls with the access
// rights and flags the program depends on. The rest of the program keeps its
// text in the system code page; files and paths go through the wide calls,
// converted here, so that long paths work and no name becomes a look-alike.

#include "platform/platform.h"

#include <windows.h>
// The names of two slots, not the macros for the A and W calls.
#undef RegDeleteTree
#undef RegDeleteKey

#include <algorithm>
#include <cwchar>
#include <memory>

namespace {

// The reason of the last failing call of the table: a Win32 error code.
thread_local DWORD KeptError = 0;

// Keeps `code` as the reason of a failing call and gives back `result`. A
// caller that cleans up after a failure passes the code it saved before.
template <class T> T Failed(T result, DWORD code = GetLastError()) {
    KeptError = code;
    return result;
}

// Code-page text as UTF-16, up to a NUL as the ANSI calls read it. False
// (with ERROR_NO_UNICODE_TRANSLATION kept) for bytes that are no character of
// the code page.
bool ToWide(const std::string &text, std::wstring &wide) {
    const int size = int(std::min(text.size(), text.find('\0')));
    wide.clear();
    if (size == 0)
        return true;
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0)
        return Failed(false);
    wide.resize(size_t(n));
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n) != n)
        return Failed(false);
    return true;
}

// UTF-16 text in the code page, without best-fit look-alikes: false (with
// ERROR_NO_UNICODE_TRANSLATION kept) when some character has no exact form
// there; `text` then shows each such character as the default character.
bool FromWide(const wchar_t *wide, size_t length, std::string &text) {
    text.clear();
    if (length == 0)
        return true;
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, int(length), nullptr, 0,
                                      nullptr, &usedDefault);
    if (n <= 0)
        return Failed(false);
    text.resize(size_t(n));
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, int(length), text.data(), n,
                            nullptr, &usedDefault) != n)
        return Failed(false);
    return !usedDefault || Failed(false, ERROR_NO_UNICODE_TRANSLATION);
}

bool FromWide(const std::wstring &wide, std::string &text) {
    return FromWide(wide.data(), wide.size(), text);
}

bool HasPrefix(const std::wstring &text, const wchar_t *prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// GetFullPathNameW without a size limit; false when it fails.
bool FullWidePath(const std::wstring &path, std::wstring &full) {
    full.assign(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (n == 0)
            return Failed(false);
        if (n < full.size()) {
            full.resize(n);
            return true;
        }
        full.assign(n, L'\0');
    }
}

// The length from which a plain path fails: the wide calls take such a path
// in the absolute "\\?\" form, which has no such limit.
constexpr size_t PlainPathLimit = MAX_PATH;

// A path for a wide call: as given while its full form is short enough, else
// that full form with the "\\?\" prefix ("\\?\UNC\" for a share). The full
// form is made here because "\\?\" turns off the system's own clean-up
// ("/" to "\", "." and ".." steps), and a relative path may be short while
// the path it names is not. `added` tells whether the prefix was added.
bool WidePath(const std::string &path, std::wstring &wide, bool *added = nullptr) {
    if (added)
        *added = false;
    if (!ToWide(path, wide))
        return false;
    if (HasPrefix(wide, L"\\\\?\\") || HasPrefix(wide, L"\\\\.\\"))
        return true;
    std::wstring full;
    // A path whose full form cannot be made is left to the call that uses it.
    if (!FullWidePath(wide, full) || full.size() < PlainPathLimit)
        return true;
    if (HasPrefix(full, L"\\\\"))
        wide = L"\\\\?\\UNC\\" + full.substr(2);
    else
        wide = L"\\\\?\\" + full;
    if (added)
        *added = true;
    return true;
}

// A path that a wide call gave back, without the prefix that WidePath added.
std::wstring WithoutAddedPrefix(const std::wstring &path, bool added) {
    if (!added)
        return path;
    if (HasPrefix(path, L"\\\\?\\UNC\\"))
        return L"\\\\" + path.substr(8);
    if (HasPrefix(path, L"\\\\?\\"))
        return path.substr(4);
    return path;
}

bool IsNTFamily() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return true;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

uint64_t ToValue(const FILETIME &ft) {
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = DWORD(value);
    ft.dwHighDateTime = DWORD(value >> 32);
    return ft;
}

uint64_t SystemTimeNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ToValue(ft);
}

// Converts between UTC and local time with the given Win32 call.
bool ConvertTime(BOOL(WINAPI *convert)(const FILETIME *, LPFILETIME), uint64_t value,
                 uint64_t &result) {
    FILETIME in = ToFileTime(value), out;
    if (!convert(&in, &out))
        return Failed(false);
    result = ToValue(out);
    return true;
}

bool UtcToLocal(uint64_t utc, uint64_t &local) {
    return ConvertTime(FileTimeToLocalFileTime, utc, local);
}

bool LocalToUtc(uint64_t local, uint64_t &utc) {
    return ConvertTime(LocalFileTimeToFileTime, local, utc);
}

std::wstring WideModuleFileName() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// GetShortPathNameW without a size limit, for a path in the form WidePath gives.
bool ShortWidePath(const std::wstring &path, std::wstring &shortPath) {
    shortPath.assign(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetShortPathNameW(path.c_str(), shortPath.data(), DWORD(shortPath.size()));
        if (n == 0)
            return Failed(false);
        if (n < shortPath.size()) {
            shortPath.resize(n);
            return true;
        }
        shortPath.assign(n, L'\0');
    }
}

// The program's path; where the code page cannot hold it, its short form if
// that one fits, else the text with default characters.
std::string ModuleFileName() {
    const std::wstring path = WideModuleFileName();
    std::string text;
    if (FromWide(path, text))
        return text;
    std::wstring shortPath;
    std::string shortText;
    if (ShortWidePath(path, shortPath) && FromWide(shortPath, shortText))
        return shortText;
    return text;
}

uint32_t ProgramBuild() {
    const std::wstring path = WideModuleFileName();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return 0;
    std::unique_ptr<char[]> data(new char[size]);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.get()))
        return 0;
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.get(), "\\", reinterpret_cast<void **>(&fixed), &length) || !fixed)
        return 0;
    return fixed->dwProductVersionLS & 0xFFFF;
}

// The command line from its UTF-16 form, one character at a time, so that
// every character the code page lacks is known (the ANSI form shows it as a
// look-alike that the rest of the program could not tell from the real one).
bool CommandLineText(std::string &text, std::vector<bool> &standIn) {
    text.clear();
    standIn.clear();
    const wchar_t *line = GetCommandLineW();
    const size_t length = line ? wcslen(line) : 0;
    std::string character;
    for (size_t i = 0; i < length;) {
        const size_t units =
            IS_HIGH_SURROGATE(line[i]) && i + 1 < length && IS_LOW_SURROGATE(line[i + 1]) ? 2 : 1;
        const bool exact = FromWide(line + i, units, character);
        text += character;
        standIn.resize(text.size(), !exact);
        i += units;
    }
    return true;
}

std::vector<std::string> Arguments() {
    return {};
}

bool GetEnv(const std::string &name, std::string &value) {
    std::string buffer(1024, '\0');
    DWORD n = GetEnvironmentVariableA(name.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0) {
        DWORD code = GetLastError();
        value.clear();
        return code != ERROR_ENVVAR_NOT_FOUND || Failed(false, code);
    }
    if (n >= buffer.size()) {
        buffer.assign(n, '\0');
        n = GetEnvironmentVariableA(name.c_str(), buffer.data(), DWORD(buffer.size()));
        if (n >= buffer.size())
            n = 0;
    }
    buffer.resize(n);
    value = buffer;
    return true;
}

// Handles are limited by memory only.
uint64_t OpenFileLimit() {
    return UINT64_MAX;
}

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? unsigned(info.dwNumberOfProcessors) : 1;
}

bool IsLeadByte(unsigned char c) {
    return IsDBCSLeadByte(c) != 0;
}

std::string LowerCase(const std::string &text) {
    std::string result = text;
    if (!result.empty())
        CharLowerBuffA(result.data(), DWORD(result.size()));
    return result;
}

bool SameName(const std::string &a, const std::string &b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(),
                          int(b.size())) == CSTR_EQUAL;
}

std::string ToOemText(const std::string &text) {
    std::string result = text;
    if (!result.empty())
        CharToOemBuffA(text.data(), result.data(), DWORD(result.size()));
    return result;
}

bool WriteStream(TStream stream, const char *data, size_t size) {
    HANDLE handle = GetStdHandle(stream == stdOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    if (handle == nullptr)
        return Failed(false, ERROR_INVALID_HANDLE);
    uint64_t done = 0;
    while (size > 0) {
        DWORD written = 0;
        DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        DWORD code = ERROR_SUCCESS;
        if (!WriteFile(handle, data, chunk, &written, nullptr))
            code = GetLastError();
        else if (written == 0)
            code = ERROR_WRITE_FAULT;
        if (code != ERROR_SUCCESS) {
            // A file on disk ends where the failed write began.
            LARGE_INTEGER back;
            back.QuadPart = -LONGLONG(done + written);
            if (done + written > 0 && GetFileType(handle) == FILE_TYPE_DISK &&
                SetFilePointerEx(handle, back, nullptr, FILE_CURRENT))
                SetEndOfFile(handle);
            return Failed(false, code);
        }
        data += written;
        size -= written;
        done += written;
    }
    return true;
}

// A console, not a file, a pipe or another character device such as NUL:
// only a console has a console mode.
bool IsTerminal(TStream stream) {
    HANDLE handle = GetStdHandle(stream == stdOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    if (handle == nullptr)
        return Failed(false, ERROR_INVALID_HANDLE);
    DWORD mode = 0;
    if (GetFileType(handle) != FILE_TYPE_CHAR)
        return Failed(false, ERROR_NOT_SUPPORTED);
    return GetConsoleMode(handle, &mode) || Failed(false);
}

void FillEntry(const WIN32_FIND_DATAW &data, TFindData &entry) {
    entry.NameUnrepresentable = !FromWide(data.cFileName, wcslen(data.cFileName), entry.Name);
    entry.IsFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A junction or a symbolic link (Wine shows a Linux link to a folder as 0x410).
    entry.IsLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // A read-only file refuses to be opened for writing; the attribute on a
    // folder means nothing of the kind.
    entry.WriteRefusal = !entry.IsFolder && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                             ? ERROR_ACCESS_DENIED
                             : 0;
    entry.CreationTime = ToValue(data.ftCreationTime);
    entry.LastAccessTime = ToValue(data.ftLastAccessTime);
    entry.LastWriteTime = ToValue(data.ftLastWriteTime);
}

TSearchHandle FindFirst(const std::string &pattern, TFindData &entry) {
    std::wstring wide;
    if (!WidePath(pattern, wide))
        return nullptr;
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(wide.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    FillEntry(data, entry);
    return reinterpret_cast<TSearchHandle>(handle);
}

bool FindNext(TSearchHandle search, TFindData &entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(search), &data))
        return Failed(false);
    FillEntry(data, entry);
    return true;
}

void FindCloseSearch(TSearchHandle search) {
    FindClose(reinterpret_cast<HANDLE>(search));
}

// The nanoseconds below a stamp's tick are ignored: Windows keeps none.
bool SetItemTimes(const std::string &path, bool isFolder, const TStampWrite *creation,
                  const TStampWrite *lastAccess, const TStampWrite *lastWrite) {
    // Windows refuses write access to a read-only file, to administrators too;
    // Wine running as root would grant it. Asking first gives the same answer
    // everywhere, and the file stays as it was.
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    if (!isFolder) {
        DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return Failed(false, ERROR_ACCESS_DENIED);
    }
    HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    isFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    FILETIME c, a, w;
    if (creation)
        c = ToFileTime(creation->Value);
    if (lastAccess)
        a = ToFileTime(lastAccess->Value);
    if (lastWrite)
        w = ToFileTime(lastWrite->Value);
    BOOL ok = SetFileTime(handle, creation ? &c : nullptr, lastAccess ? &a : nullptr,
                          lastWrite ? &w : nullptr);
    DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(handle);
    return ok || Failed(false, code);
}

bool CanSetCreationTime() {
    return true;
}

bool FileSystemName(TFolderHandle, const std::string &where, std::string &name) {
    std::wstring root;
    if (!ToWide(where, root))
        return false;
    // The longest name the call gives, with its terminating zero.
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD scratch = 0;
    if (!GetVolumeInformationW(root.empty() ? nullptr : root.c_str(), nullptr, 0, nullptr, &scratch,
                               &scratch, buffer, MAX_PATH + 1))
        return Failed(false);
    return FromWide(buffer, wcslen(buffer), name);
}

std::string FullPathName(const std::string &path) {
    std::wstring wide, full;
    std::string text;
    if (!ToWide(path, wide) || !FullWidePath(wide, full) || !FromWide(full, text))
        return std::string();
    return text;
}

} // namespace

// Win32 has no calls relative to an open folder: a folder is its path text as
// the walk built it (ending in a separator or ":", or empty for the current
// folder), and an item is named by that text and its name.
struct TFolderState {
    std::string Path;
};

namespace {

std::string Joined(TFolderHandle folder, const std::string &name) {
    return folder ? folder->Path + name : name;
}

TFolderHandle OpenFolder(const std::string &path) {
    std::string text = path;
    if (!text.empty() && text.back() != '\\' && text.back() != '/' && text.back() != ':')
        text += '\\';
    return new TFolderState{text};
}

TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name) {
    return OpenFolder(Joined(parent, name));
}

void CloseFolder(TFolderHandle folder) {
    delete folder;
}

bool FolderIdentity(TFolderHandle, uint64_t &, uint64_t &) {
    return Failed(false, ERROR_NOT_SUPPORTED);
}

TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool,
                          TFindData &entry) {
    return FindFirst(Joined(folder, namePattern), entry);
}

bool ReadItem(TFolderHandle folder, const std::string &name, bool, TFindData &entry) {
    TSearchHandle search = FindFirst(Joined(folder, name), entry);
    if (!search)
        return false;
    FindCloseSearch(search);
    return true;
}

bool SetItemTimesAt(TFolderHandle folder, const std::string &name, bool isFolder, bool,
                    const TStampWrite *creation, const TStampWrite *lastAccess,
                    const TStampWrite *lastWrite) {
    return SetItemTimes(Joined(folder, name), isFolder, creation, lastAccess, lastWrite);
}

std::string FullPathNameAt(TFolderHandle folder, const std::string &name) {
    return FullPathName(Joined(folder, name));
}

bool ShortPathName(const std::string &path, std::string &shortPath) {
    std::wstring wide, result;
    bool added = false;
    if (!WidePath(path, wide, &added) || !ShortWidePath(wide, result))
        return false;
    return FromWide(WithoutAddedPrefix(result, added), shortPath);
}

bool ReadWholeFile(const std::string &path, std::string &data) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    DWORD code = ERROR_SUCCESS;
    DWORD high = 0;
    DWORD size = GetFileSize(handle, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        code = GetLastError();
    else if (high != 0 || size == INVALID_FILE_SIZE)
        code = ERROR_FILE_TOO_LARGE;
    else if (SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        code = GetLastError();
    else {
        data.assign(size, '\0');
        DWORD read = 0;
        if (size != 0 && !ReadFile(handle, data.data(), size, &read, nullptr))
            code = GetLastError();
        else if (read != size)
            code = ERROR_HANDLE_EOF;
    }
    CloseHandle(handle);
    return code == ERROR_SUCCESS || Failed(false, code);
}

bool RunHiddenAndWait(const std::string &commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    std::wstring line; // CreateProcessW may write into it
    if (!ToWide(commandLine, line))
        return false;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return Failed(false);
    while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        Sleep(1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::string KeyPath(const std::string &path) {
    return !path.empty() && path[0] == '\\' ? path.substr(1) : path;
}

// The registry calls return their error code instead of setting it.
bool Succeeded(LONG result) {
    return result == ERROR_SUCCESS || Failed(false, DWORD(result));
}

HKEY KeyOf(TRegHandle key) {
    return reinterpret_cast<HKEY>(key);
}

HKEY OpenKey(const std::string &path, REGSAM access) {
    HKEY key = nullptr;
    if (!Succeeded(RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(path).c_str(), 0, access, &key)))
        return nullptr;
    return key;
}

TRegHandle RegOpenRead(const std::string &path) {
    for (REGSAM access : {REGSAM(KEY_READ), REGSAM(0x20009), REGSAM(KEY_QUERY_VALUE)})
        if (HKEY key = OpenKey(path, access))
            return reinterpret_cast<TRegHandle>(key);
    return nullptr;
}

TRegHandle RegOpenWrite(const std::string &path) {
    return reinterpret_cast<TRegHandle>(OpenKey(path, KEY_ALL_ACCESS));
}

TRegHandle RegCreate(const std::string &path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (!Succeeded(RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(path).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                   &disposition)))
        return nullptr;
    return reinterpret_cast<TRegHandle>(key);
}

bool RegKeyExists(const std::string &path) {
    HKEY key = OpenKey(path, 0x20009);
    if (!key)
        return false;
    RegCloseKey(key);
    return true;
}

void RegClose(TRegHandle key) {
    RegCloseKey(KeyOf(key));
}

TRegValueState RegQueryString(TRegHandle key, const std::string &name, std::string &value) {
    value.clear();
    DWORD type = 0, size = 0;
    if (!Succeeded(RegQueryValueExA(KeyOf(key), name.c_str(), nullptr, &type, nullptr, &size)) ||
        size == 0)
        return rvEmpty;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return rvWrongType;
    std::string data(size, '\0');
    if (!Succeeded(RegQueryValueExA(KeyOf(key), name.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE *>(data.data()), &size)))
        return rvEmpty;
    data.resize(size);
    value = data.substr(0, data.find('\0'));
    return rvString;
}

bool RegSetString(TRegHandle key, const std::string &name, const std::string &value) {
    return Succeeded(RegSetValueExA(KeyOf(key), name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE *>(value.c_str()),
                                    DWORD(value.size() + 1)));
}

bool RegSetDword(TRegHandle key, const std::string &name, uint32_t value) {
    DWORD data = value;
    return Succeeded(RegSetValueExA(KeyOf(key), name.c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE *>(&data), sizeof data));
}

int RegSubKeyCount(TRegHandle key) {
    DWORD count = 0;
    if (!Succeeded(RegQueryInfoKeyA(KeyOf(key), nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr)))
        return -1;
    return int(count);
}

bool RegDeleteTree(const std::string &path) {
    std::string relative = KeyPath(path);
    if (HKEY key = OpenKey(relative, KEY_ALL_ACCESS)) {
        DWORD count = 0, longest = 0;
        std::vector<std::string> names;
        if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            std::string buffer(longest + 1, '\0');
            for (DWORD i = 0; i < count; ++i) {
                DWORD length = DWORD(buffer.size());
                if (RegEnumKeyExA(key, i, buffer.data(), &length, nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS)
                    names.emplace_back(buffer.data(), length);
            }
        }
        RegCloseKey(key);
        for (const std::string &name : names)
            RegDeleteTree(relative + "\\" + name);
    }
    return Succeeded(RegDeleteKeyA(HKEY_CURRENT_USER, relative.c_str()));
}

bool RegDeleteKey(const std::string &path) {
    return Succeeded(RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath(path).c_str()));
}

uint32_t LastErrorCode() {
    return KeptError;
}

// The system's message for a code in the system's default language (the
// user's where the system has none), in the ANSI code page.
std::string ErrorText(uint32_t code) {
    char *buffer = nullptr;
    DWORD n = 0;
    for (DWORD language : {DWORD(MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)), DWORD(0)}) {
        n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, language, reinterpret_cast<char *>(&buffer), 0, nullptr);
        if (n != 0)
            break;
    }
    std::string text = n != 0 && buffer ? std::string(buffer, n) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

const TPlatform Win32Platform = {
    .IsNTFamily = IsNTFamily,
    .SystemTimeNow = SystemTimeNow,
    .UtcToLocal = UtcToLocal,
    .LocalToUtc = LocalToUtc,
    .ModuleFileName = ModuleFileName,
    .ProgramBuild = ProgramBuild,
    .CommandLineText = CommandLineText,
    .Arguments = Arguments,
    .GetEnv = GetEnv,
    .OpenFileLimit = OpenFileLimit,
    .ProcessorCount = ProcessorCount,
    .IsLeadByte = IsLeadByte,
    .LowerCase = LowerCase,
    .SameName = SameName,
    .ToOemText = ToOemText,
    .WriteStream = WriteStream,
    .IsTerminal = IsTerminal,
    .FindFirst = FindFirst,
    .FindFirstIn = FindFirstIn,
    .FindNext = FindNext,
    .FindClose = FindCloseSearch,
    .OpenFolder = OpenFolder,
    .OpenSubFolder = OpenSubFolder,
    .CloseFolder = CloseFolder,
    .FolderIdentity = FolderIdentity,
    .ReadItem = ReadItem,
    .SetItemTimes = SetItemTimesAt,
    .CanSetCreationTime = CanSetCreationTime,
    .FullPathName = FullPathNameAt,
    .FileSystemName = FileSystemName,
    .ShortPathName = ShortPathName,
    .ReadWholeFile = ReadWholeFile,
    .RunHiddenAndWait = RunHiddenAndWait,
    .RegOpenRead = RegOpenRead,
    .RegOpenWrite = RegOpenWrite,
    .RegCreate = RegCreate,
    .RegKeyExists = RegKeyExists,
    .RegClose = RegClose,
    .RegQueryString = RegQueryString,
    .RegSetString = RegSetString,
    .RegSetDword = RegSetDword,
    .RegSubKeyCount = RegSubKeyCount,
    .RegDeleteTree = RegDeleteTree,
    .RegDeleteKey = RegDeleteKey,
    .LastErrorCode = LastErrorCode,
    .ErrorText = ErrorText,
};

} // namespace

const TPlatform &NativePlatform() {
    return Win32Platform;
}

void SetProgramArguments(int, char **) {}
