// The Windows build's own process (its path, build and command line, and the
// machine's limits) and the processes it starts.

#include "platform/windows/win32_calls.h"

#include <cwchar>
#include <memory>

namespace win32 {

namespace {

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

} // namespace

// The program's path; where it holds an unpaired surrogate, its short form if
// that one has none, else the text with U+FFFD.
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

// The command line from its UTF-16 form: every character as typed, an
// unpaired surrogate flagged where its U+FFFD stands.
bool CommandLineText(std::string &text, std::vector<bool> &standIn) {
    const wchar_t *line = GetCommandLineW();
    FromWide(line ? line : L"", line ? wcslen(line) : 0, text, &standIn);
    return true;
}

std::vector<std::string> Arguments() {
    return {};
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

bool RunHiddenAndWait(const std::string &commandLine, uint32_t &exitCode) {
    exitCode = 0;
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
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code))
        code = GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    exitCode = code;
    if (code != 0)
        Failed(false, code);
    return true;
}

} // namespace win32
