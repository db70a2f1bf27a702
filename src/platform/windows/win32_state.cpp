// The Windows build's own files (its journal) and interrupts.

#include "platform/windows/win32_calls.h"
#include "platform/windows/win32_paths.h"

#include <atomic>
#include <cwchar>

struct TFileState {
    HANDLE Handle;
};

namespace win32 {

// The program's own files, named as every other file is; the folder under
// the user's local application data inherits its protection, which lets no
// other user in.

bool StateFolder(std::string &path) {
    std::string base;
    bool exact = true;
    if (!GetEnv("LOCALAPPDATA", base, exact))
        return false;
    if (base.empty())
        return Failed(false, ERROR_ENVVAR_NOT_FOUND);
    if (!exact)
        return Failed(false, ERROR_NO_UNICODE_TRANSLATION);
    if (base.back() != '\\' && base.back() != '/')
        base += '\\';
    path = base + "Varnhold\\Kelvard";
    return true;
}

namespace {

bool IsFolderW(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool MakePrivateFolder(const std::string &path) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    if (IsFolderW(wide))
        return true;
    // Every folder from the first one below the root (or the share) on.
    size_t start = 0;
    if (HasWidePrefix(wide, L"\\\\?\\UNC\\") || HasWidePrefix(wide, L"\\\\")) {
        const size_t server =
            wide.find_first_of(L"\\/", HasWidePrefix(wide, L"\\\\?\\UNC\\") ? 8 : 2);
        start = server == std::wstring::npos ? wide.size() : wide.find_first_of(L"\\/", server + 1);
    } else if (HasWidePrefix(wide, L"\\\\?\\")) {
        start = wide.find_first_of(L"\\/", 4);
    } else if (wide.size() >= 2 && wide[1] == L':') {
        start = wide.find_first_of(L"\\/");
    }
    while (start != std::wstring::npos && start < wide.size()) {
        const size_t end = wide.find_first_of(L"\\/", start + 1);
        const std::wstring folder = wide.substr(0, end);
        const bool named = !folder.empty() && folder.back() != L'\\' && folder.back() != L'/';
        if (named && !IsFolderW(folder) && !CreateDirectoryW(folder.c_str(), nullptr)) {
            const DWORD code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS || !IsFolderW(folder))
                return Failed(false, code);
        }
        start = end;
    }
    return IsFolderW(wide) || Failed(false, ERROR_PATH_NOT_FOUND);
}

namespace {

// A file of the program's own: shared with other processes, which keep to it
// by its lock (LockFile), never opened through a reparse point.
HANDLE OpenOwn(const std::wstring &path, DWORD disposition) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

} // namespace

TFileHandle OpenAppend(const std::string &path, bool create) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return nullptr;
    HANDLE handle = OpenOwn(wide, create ? CREATE_NEW : OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    return new TFileState{handle};
}

bool AppendFile(TFileHandle file, const char *data, size_t size) {
    LARGE_INTEGER before{}, zero{};
    if (!SetFilePointerEx(file->Handle, zero, &before, FILE_END))
        return Failed(false);
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        const BOOL ok = WriteFile(file->Handle, data, chunk, &written, nullptr);
        if (!ok || written == 0) {
            const DWORD code = ok ? ERROR_WRITE_FAULT : GetLastError();
            // A part written is taken back: the file ends with a whole line.
            if (SetFilePointerEx(file->Handle, before, nullptr, FILE_BEGIN))
                SetEndOfFile(file->Handle);
            return Failed(false, code);
        }
        data += written;
        size -= written;
    }
    return true;
}

// A folder that is a reparse point may lead anywhere: it is refused. Its
// protection is what the user's local application data gives it.
TOwnership OwnershipOf(const std::string &path) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return owUnreadable;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                   ? owMissing
                   : Failed(owUnreadable, code);
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return owLink;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? owOwn : owWrongType;
}

TFileHandle OpenOwnFile(const std::string &path, TOwnership &problem) {
    std::wstring wide;
    problem = owUnreadable;
    if (!WidePath(path, wide))
        return nullptr;
    HANDLE handle = OpenOwn(wide, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            problem = owMissing;
        return Failed(nullptr, code);
    }
    BY_HANDLE_FILE_INFORMATION info;
    problem = !GetFileInformationByHandle(handle, &info)             ? owUnreadable
              : info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? owLink
              : info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY     ? owWrongType
                                                                     : owOwn;
    if (problem != owOwn) {
        const DWORD code = problem == owUnreadable ? GetLastError() : ERROR_ACCESS_DENIED;
        CloseHandle(handle);
        return Failed(nullptr, code);
    }
    return new TFileState{handle};
}

bool ReadOwnFile(TFileHandle file, std::string &data) {
    data.clear();
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file->Handle, zero, nullptr, FILE_BEGIN))
        return Failed(false);
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file->Handle, buffer, sizeof buffer, &read, nullptr))
            return Failed(false);
        if (read == 0)
            return true;
        data.append(buffer, read);
    }
}

bool TruncateFile(TFileHandle file, uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = LONGLONG(size);
    return (SetFilePointerEx(file->Handle, at, nullptr, FILE_BEGIN) &&
            SetEndOfFile(file->Handle)) ||
           Failed(false);
}

// One byte far beyond any journal's end: the lock keeps other processes
// from taking it, and none from reading or writing the text.
bool LockFile(TFileHandle file) {
    OVERLAPPED where{};
    where.Offset = 0xFFFFFFFEu;
    where.OffsetHigh = 0x7FFFFFFFu;
    if (LockFileEx(file->Handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &where))
        return true;
    const DWORD code = GetLastError();
    return Failed(false, code == ERROR_IO_PENDING ? DWORD(ERROR_LOCK_VIOLATION) : code);
}

void CloseFile(TFileHandle file) {
    CloseHandle(file->Handle);
    delete file;
}

bool ListFiles(const std::string &folder, std::vector<TFileListing> &files) {
    files.clear();
    std::wstring wide;
    if (!WidePath(folder, wide))
        return false;
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/')
        wide += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((wide + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND || Failed(false);
    do {
        // A name in the way (a folder, a link) is no journal.
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        std::string name;
        if (FromWide(data.cFileName, wcslen(data.cFileName), name))
            files.push_back(
                TFileListing{name, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    } while (FindNextFileW(search, &data));
    const DWORD code = GetLastError();
    FindClose(search);
    return code == ERROR_NO_MORE_FILES || Failed(false, code);
}

bool RemoveFile(const std::string &path) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    return DeleteFileW(wide.c_str()) || Failed(false);
}

namespace {

// Set by the first Ctrl+C (or Ctrl+Break) once they are caught; the handler
// runs on a thread of its own.
std::atomic<bool> Interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    // A second interrupt ends the process, as it would without the handler.
    return Interrupted.exchange(true) ? FALSE : TRUE;
}

} // namespace

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() {
    return Interrupted.load();
}

} // namespace win32
