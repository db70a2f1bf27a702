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

TFileHandle OpenAppend(const std::string &path, bool create) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return nullptr;
    HANDLE handle =
        CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                    create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    return new TFileState{handle};
}

bool AppendFile(TFileHandle file, const char *data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        if (!WriteFile(file->Handle, data, chunk, &written, nullptr))
            return Failed(false);
        if (written == 0)
            return Failed(false, ERROR_WRITE_FAULT);
        data += written;
        size -= written;
    }
    return true;
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
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
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
