// The platform table of the native build.

#include "platform/unix/posix_calls.h"
#include "version.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace posix {

uint64_t TimespecToValue(int64_t seconds, int64_t nanoseconds) {
    return uint64_t(seconds + EpochDifferenceSeconds) * 10000000ULL + uint64_t(nanoseconds / 100);
}

namespace {

std::vector<std::string> ProgramArguments;

bool IsNTFamily() {
    return true;
}

uint64_t SystemTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return TimespecToValue(now.tv_sec, now.tv_nsec);
}

// The offset from UTC in force now, in ticks.
int64_t LocalOffset() {
    time_t now = time(nullptr);
    tm local{};
    if (!localtime_r(&now, &local))
        return 0;
    return int64_t(local.tm_gmtoff) * 10000000LL;
}

bool UtcToLocal(uint64_t utc, uint64_t &local) {
    local = utc + uint64_t(LocalOffset());
    return true;
}

bool LocalToUtc(uint64_t local, uint64_t &utc) {
    utc = local - uint64_t(LocalOffset());
    return true;
}

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ProgramArguments.empty() ? "kelvard" : ProgramArguments[0];
    return std::string(buffer, size_t(n));
}

uint32_t ProgramBuild() {
    return KELVARD_VERSION_BUILD;
}

bool CommandLineText(std::string &) {
    return false;
}

std::vector<std::string> Arguments() {
    if (ProgramArguments.empty())
        return {};
    return std::vector<std::string>(ProgramArguments.begin() + 1, ProgramArguments.end());
}

bool GetEnv(const std::string &name, std::string &value) {
    const char *text = getenv(name.c_str());
    value = text ? text : "";
    return text != nullptr;
}

bool IsLeadByte(unsigned char) {
    return false;
}

std::string LowerCase(const std::string &text) {
    std::string result = text;
    for (char &c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

bool SameName(const std::string &a, const std::string &b) {
    return a == b;
}

std::string ToOemText(const std::string &text) {
    return text;
}

bool WriteStream(TStream stream, const char *data, size_t size) {
    int fd = stream == stdOutput ? STDOUT_FILENO : STDERR_FILENO;
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

const TPlatform PosixPlatform = {
    IsNTFamily,      SystemTimeNow,  UtcToLocal,    LocalToUtc,    ModuleFileName,   ProgramBuild,
    CommandLineText, Arguments,      GetEnv,        IsLeadByte,    LowerCase,        SameName,
    ToOemText,       WriteStream,    FindFirst,     FindNext,      FindClose,        SetItemTimes,
    FileSystemName,  FullPathName,   ShortPathName, ReadWholeFile, RunHiddenAndWait, RegOpenRead,
    RegOpenWrite,    RegCreate,      RegKeyExists,  RegClose,      RegQueryString,   RegSetString,
    RegSetDword,     RegSubKeyCount, RegDeleteTree, RegDeleteKey,  FindFirstNames,
};

} // namespace
} // namespace posix

const TPlatform &NativePlatform() {
    return posix::PosixPlatform;
}

void SetProgramArguments(int argc, char **argv) {
    posix::ProgramArguments.assign(argv, argv + argc);
    // A standard stream whose reader has gone is a failed write, reported and
    // ended with exit code 1 like any other, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
}
