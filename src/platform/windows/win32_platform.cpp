// The platform table of the Windows build: Win32 calls with the access
// rights and flags the program depends on.

#include "platform/platform.h"

#include <windows.h>
// The names of two slots, not the macros for the A and W calls.
#undef RegDeleteTree
#undef RegDeleteKey

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

std::string ModuleFileName() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

uint32_t ProgramBuild() {
    std::string path = ModuleFileName();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return 0;
    std::unique_ptr<char[]> data(new char[size]);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.get()))
        return 0;
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.get(), "\\", reinterpret_cast<void **>(&fixed), &length) || !fixed)
        return 0;
    return fixed->dwProductVersionLS & 0xFFFF;
}

bool CommandLineText(std::string &text) {
    const char *line = GetCommandLineA();
    text = line ? line : "";
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
    while (size > 0) {
        DWORD written = 0;
        DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        if (!WriteFile(handle, data, chunk, &written, nullptr))
            return Failed(false);
        if (written == 0)
            return Failed(false, ERROR_WRITE_FAULT);
        data += written;
        size -= written;
    }
    return true;
}

void FillEntry(const WIN32_FIND_DATAA &data, TFindData &entry) {
    entry.Name = data.cFileName;
    entry.IsFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A junction or a symbolic link (Wine shows a Linux link to a folder as 0x410).
    entry.IsLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.ReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    entry.CreationTime = ToValue(data.ftCreationTime);
    entry.LastAccessTime = ToValue(data.ftLastAccessTime);
    entry.LastWriteTime = ToValue(data.ftLastWriteTime);
}

TSearchHandle FindFirst(const std::string &pattern, TFindData &entry) {
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    FillEntry(data, entry);
    return reinterpret_cast<TSearchHandle>(handle);
}

bool FindNext(TSearchHandle search, TFindData &entry) {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &data))
        return Failed(false);
    FillEntry(data, entry);
    return true;
}

void FindCloseSearch(TSearchHandle search) {
    FindClose(reinterpret_cast<HANDLE>(search));
}

bool SetItemTimes(const std::string &path, bool isFolder, const uint64_t *creation,
                  const uint64_t *lastAccess, const uint64_t *lastWrite) {
    // Windows refuses write access to a read-only file, to administrators too;
    // Wine running as root would grant it. Asking first gives the same answer
    // everywhere, and the file stays as it was.
    if (!isFolder) {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return Failed(false, ERROR_ACCESS_DENIED);
    }
    HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    isFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    FILETIME c, a, w;
    if (creation)
        c = ToFileTime(*creation);
    if (lastAccess)
        a = ToFileTime(*lastAccess);
    if (lastWrite)
        w = ToFileTime(*lastWrite);
    BOOL ok = SetFileTime(handle, creation ? &c : nullptr, lastAccess ? &a : nullptr,
                          lastWrite ? &w : nullptr);
    DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(handle);
    return ok || Failed(false, code);
}

bool CanSetCreationTime() {
    return true;
}

bool FileSystemName(const std::string &where, std::string &name) {
    char buffer[256] = {};
    DWORD scratch = 0;
    if (!GetVolumeInformationA(where.empty() ? nullptr : where.c_str(), nullptr, 0, nullptr,
                               &scratch, &scratch, buffer, sizeof buffer))
        return Failed(false);
    name = buffer;
    return true;
}

std::string FullPathName(const std::string &path) {
    std::string buffer(MAX_PATH, '\0');
    char *filePart = nullptr;
    DWORD n = GetFullPathNameA(path.c_str(), DWORD(buffer.size()), buffer.data(), &filePart);
    if (n >= buffer.size()) {
        buffer.assign(n, '\0');
        n = GetFullPathNameA(path.c_str(), DWORD(buffer.size()), buffer.data(), &filePart);
    }
    if (n == 0 || n >= buffer.size())
        return path;
    buffer.resize(n);
    return buffer;
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
                    const uint64_t *creation, const uint64_t *lastAccess,
                    const uint64_t *lastWrite) {
    return SetItemTimes(Joined(folder, name), isFolder, creation, lastAccess, lastWrite);
}

std::string FullPathNameAt(TFolderHandle folder, const std::string &name) {
    return FullPathName(Joined(folder, name));
}

bool ShortPathName(const std::string &path, std::string &shortPath) {
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (n == 0)
        return Failed(false);
    if (n >= MAX_PATH)
        return Failed(false, ERROR_FILENAME_EXCED_RANGE);
    shortPath.assign(buffer, n);
    return true;
}

bool ReadWholeFile(const std::string &path, std::string &data) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    std::string line = commandLine; // CreateProcessA may write into it
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
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
    .IsLeadByte = IsLeadByte,
    .LowerCase = LowerCase,
    .SameName = SameName,
    .ToOemText = ToOemText,
    .WriteStream = WriteStream,
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
