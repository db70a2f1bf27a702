// Folvane: sets one stamp of one folder for Kelvard on systems where Kelvard
// cannot open a folder to write its stamps.
//
//   Folvane.exe "<folder>" <action> <date> <time> <count>
//
// action: 3 the last-write stamp, 7 the creation stamp, 5 the last-access
// stamp. date and time: the MS-DOS date and time in local time, hexadecimal;
// count: the 10-ms steps within the 2-second step of the time, hexadecimal
// (0 to C7). Exit code 0 when the stamp was set; otherwise the system's error
// code for why not: that of the failing call when the stamp could not be set,
// ERROR_BAD_ARGUMENTS (160) for a malformed command line or a date or time
// that does not exist.

#include "platform/windows/win32_paths.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int ExitUsage = ERROR_BAD_ARGUMENTS;
constexpr uint64_t TicksPer10ms = 100000;

struct TRequest {
    std::wstring Folder;
    int Action = 0;
    unsigned Date = 0, Time = 0, Count = 0;
};

bool IsBlank(wchar_t c) {
    return c > 0 && c <= 32;
}

// The next blank-separated word of the command line.
std::wstring NextWord(const wchar_t *&p) {
    while (IsBlank(*p))
        ++p;
    std::wstring word;
    while (*p && !IsBlank(*p))
        word += *p++;
    return word;
}

bool ReadNumber(const std::wstring &word, int base, unsigned limit, unsigned &value) {
    if (word.empty() || word.size() > 8)
        return false;
    value = 0;
    for (wchar_t c : word) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else
            return false;
        value = value * unsigned(base) + digit;
    }
    return value <= limit;
}

// The command line after the program's own name, in its wide form: the
// folder's name is read with every character it has.
bool ReadRequest(const wchar_t *line, TRequest &request) {
    const wchar_t *p = line;
    // The program's own name, quoted or not.
    while (IsBlank(*p))
        ++p;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    }
    while (*p && !IsBlank(*p))
        ++p;
    // The folder, in double quotes.
    while (IsBlank(*p))
        ++p;
    if (*p != '"')
        return false;
    ++p;
    while (*p && *p != '"')
        request.Folder += *p++;
    if (*p != '"' || request.Folder.empty())
        return false;
    ++p;
    if (*p && !IsBlank(*p))
        return false;
    unsigned action = 0;
    if (!ReadNumber(NextWord(p), 10, 7, action) || (action != 3 && action != 5 && action != 7))
        return false;
    request.Action = int(action);
    if (!ReadNumber(NextWord(p), 16, 0xFFFF, request.Date) ||
        !ReadNumber(NextWord(p), 16, 0xFFFF, request.Time) ||
        !ReadNumber(NextWord(p), 16, 199, request.Count))
        return false;
    return NextWord(p).empty();
}

// The stamp as a UTC time value; false for a date or time that does not exist.
bool StampOf(const TRequest &request, FILETIME &utc) {
    SYSTEMTIME parts{};
    parts.wYear = WORD(1980 + (request.Date >> 9));
    parts.wMonth = WORD((request.Date >> 5) & 15);
    parts.wDay = WORD(request.Date & 31);
    parts.wHour = WORD(request.Time >> 11);
    parts.wMinute = WORD((request.Time >> 5) & 63);
    parts.wSecond = WORD((request.Time & 31) * 2);
    if (parts.wHour > 23 || parts.wMinute > 59 || parts.wSecond > 59)
        return false;
    FILETIME local;
    if (!SystemTimeToFileTime(&parts, &local))
        return false;
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    ticks.QuadPart += request.Count * TicksPer10ms;
    local.dwLowDateTime = ticks.LowPart;
    local.dwHighDateTime = ticks.HighPart;
    return LocalFileTimeToFileTime(&local, &utc) != 0;
}

// The reason of the last failing call, never 0.
DWORD LastFailure() {
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
}

// Sets the stamp; 0, or the system's reason why it could not be set. A path
// whose full form is too long for a plain path is opened in the verbatim form.
DWORD SetStamp(const TRequest &request, const FILETIME &stamp) {
    std::wstring path = request.Folder, full;
    if (!HasWidePrefix(path, L"\\\\?\\") && FullWidePath(path, full) &&
        full.size() >= PlainPathLimit)
        path = VerbatimForm(full);
    HANDLE folder = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return LastFailure();
    const FILETIME *creation = request.Action == 7 ? &stamp : nullptr;
    const FILETIME *access = request.Action == 5 ? &stamp : nullptr;
    const FILETIME *write = request.Action == 3 ? &stamp : nullptr;
    const DWORD code = SetFileTime(folder, creation, access, write) ? ERROR_SUCCESS : LastFailure();
    CloseHandle(folder);
    return code;
}

// The folder's name in the system code page, for a message: a character the
// code page lacks shows as "?", never as a look-alike.
std::string Shown(const std::wstring &text) {
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()),
                                      nullptr, 0, "?", nullptr);
    std::string shown(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()),
                            shown.data(), n, "?", nullptr);
    return shown;
}

void Say(const std::string &text) {
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

} // namespace

int main() {
    TRequest request;
    if (!ReadRequest(GetCommandLineW(), request)) {
        Say("Folvane: コマンドラインが不正です。");
        Say("使い方: Folvane \"<フォルダ>\" <3|5|7> <日付> <時刻> <10ミリ秒数>");
        return ExitUsage;
    }
    FILETIME stamp;
    if (!StampOf(request, stamp)) {
        Say("Folvane: 日付または時刻が不正です。");
        return ExitUsage;
    }
    if (const DWORD code = SetStamp(request, stamp); code != ERROR_SUCCESS) {
        Say("Folvane: フォルダ (" + Shown(request.Folder) +
            ") のタイムスタンプを変更できませんでした。");
        return int(code);
    }
    return 0;
}
