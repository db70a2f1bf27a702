// with_env NAME=VALUE PROGRAM [ARGUMENT ...]: runs PROGRAM with one variable
// of its environment set, its arguments passed on exactly as written, and
// ends with its exit code. The command-line tests of the Windows build need
// it for the variables that Wine's own start-up sets over those of the
// caller (LOCALAPPDATA).

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The end of the argument that starts at `at`, by the Windows rule for the
// program's own path and for simple arguments (double quotes group).
const wchar_t *SkipArgument(const wchar_t *at, std::wstring *text = nullptr) {
    bool quoted = false;
    for (; *at && (quoted || (*at != L' ' && *at != L'\t')); ++at) {
        if (*at == L'"')
            quoted = !quoted;
        else if (text)
            *text += *at;
    }
    while (*at == L' ' || *at == L'\t')
        ++at;
    return at;
}

} // namespace

int main() {
    const wchar_t *line = SkipArgument(GetCommandLineW());
    std::wstring assignment;
    line = SkipArgument(line, &assignment);
    const size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos || equals == 0 || *line == L'\0') {
        std::fputws(L"usage: with_env NAME=VALUE PROGRAM [ARGUMENT ...]\n", stderr);
        return 125;
    }
    SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                            assignment.substr(equals + 1).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Under a busy Wine a start now and then fails for a moment: tried again.
    for (int attempt = 1;; ++attempt) {
        std::wstring command = line; // CreateProcessW may write into it
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &process))
            break;
        if (attempt == 5) {
            std::fwprintf(stderr, L"with_env: the program cannot be started (error %lu)\n",
                          GetLastError());
            return 126;
        }
        Sleep(200);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}
