// The platform table of the native build.

#include "platform/unix/posix_calls.h"
#include "version.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posix {

uint64_t TimespecToValue(int64_t seconds, int64_t nanoseconds) {
    return uint64_t(seconds + EpochDifferenceSeconds) * 10000000ULL + uint64_t(nanoseconds / 100);
}

bool ExactTimespecValue(int64_t seconds, int64_t nanoseconds, uint64_t &value) {
    const __int128 ticks =
        (__int128(seconds) + EpochDifferenceSeconds) * 10000000 + nanoseconds / 100;
    value = uint64_t(ticks);
    return ticks != 0 && ticks >= INT64_MIN && ticks <= INT64_MAX;
}

std::string AsciiLower(const std::string &text) {
    std::string result = text;
    for (char &c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

bool WriteAll(int fd, const char *data, size_t size, size_t *written) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            if (written)
                *written = done;
            return false;
        }
        done += size_t(n);
    }
    if (written)
        *written = done;
    return true;
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

// The local date and time taken apart as if it were UTC, then read by the
// rules of the local zone for that date.
bool LocalDateToUtc(uint64_t local, uint64_t &utc) {
    const uint64_t ticks = local % 10000000ULL;
    const int64_t seconds = int64_t(local / 10000000ULL) - EpochDifferenceSeconds;
    const time_t asUtc = time_t(seconds);
    tm parts{};
    if (!gmtime_r(&asUtc, &parts))
        return Failed(false, EOVERFLOW);
    parts.tm_isdst = -1;
    errno = 0;
    const time_t back = mktime(&parts);
    if (back == time_t(-1) && errno != 0)
        return Failed(false);
    const int64_t total = int64_t(back) + EpochDifferenceSeconds;
    if (total < 0)
        return Failed(false, EOVERFLOW);
    utc = uint64_t(total) * 10000000ULL + ticks;
    return true;
}

std::string ModuleFileName() {
    std::string path;
    if (!ReadLink("/proc/self/exe", path) || path.empty())
        return ProgramArguments.empty() ? "kelvard" : ProgramArguments[0];
    return path;
}

uint32_t ProgramBuild() {
    return KELVARD_VERSION_BUILD;
}

bool CommandLineText(std::string &, std::vector<bool> &) {
    return Failed(false, ENOSYS);
}

std::vector<std::string> Arguments() {
    if (ProgramArguments.empty())
        return {};
    return std::vector<std::string>(ProgramArguments.begin() + 1, ProgramArguments.end());
}

// A value is bytes, held exactly.
bool GetEnv(const std::string &name, std::string &value, bool &exact) {
    const char *text = getenv(name.c_str());
    value = text ? text : "";
    exact = true;
    return text ? true : Failed(false, ENOENT);
}

uint64_t OpenFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    return files.rlim_cur;
}

unsigned ProcessorCount() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? unsigned(count) : 1;
}

bool SameName(const std::string &a, const std::string &b) {
    return a == b;
}

std::string ToOemText(const std::string &text) {
    return text;
}

// The streams take the program's text as it stands: nothing is lacked.
std::string ToCodePage(const std::string &text, std::vector<uint32_t> *) {
    return text;
}

bool FromCodePage(const std::string &bytes, std::string &text) {
    text = bytes;
    return true;
}

// A regular file loses the `written` bytes just written before a failure:
// it ends where the failed write began.
void TakeBack(int fd, size_t written) {
    struct stat info {};
    if (written == 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return;
    const off_t end = lseek(fd, 0, SEEK_CUR);
    if (end < off_t(written))
        return;
    if (ftruncate(fd, end - off_t(written)) == 0)
        lseek(fd, end - off_t(written), SEEK_SET);
}

bool WriteStream(TStream stream, const char *data, size_t size) {
    const int fd = stream == stdOutput ? STDOUT_FILENO : STDERR_FILENO;
    size_t written = 0;
    if (WriteAll(fd, data, size, &written))
        return true;
    const int code = errno;
    TakeBack(fd, written);
    return Failed(false, code);
}

bool IsTerminal(TStream stream) {
    return isatty(stream == stdOutput ? STDOUT_FILENO : STDERR_FILENO) == 1 || Failed(false);
}

// UTF-8 is the text of every stream here.
bool WriteText(TStream stream, const char *text, size_t size, bool) {
    return WriteStream(stream, text, size);
}

uint32_t LastErrorCode() {
    return KeptError;
}

std::string ErrorText(uint32_t code) {
    return std::strerror(int(code));
}

const TPlatform PosixPlatform = {
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
    .LowerCase = AsciiLower,
    .SameName = SameName,
    .ToOemText = ToOemText,
    .ToCodePage = ToCodePage,
    .FromCodePage = FromCodePage,
    .WriteStream = WriteStream,
    .IsTerminal = IsTerminal,
    .WriteText = WriteText,
    .FindFirst = FindFirst,
    .FindFirstIn = FindFirstIn,
    .FindNext = FindNext,
    .FindClose = FindClose,
    .OpenFolder = OpenFolder,
    .OpenSubFolder = OpenSubFolder,
    .CloseFolder = CloseFolder,
    .FolderIdentity = FolderIdentity,
    .ReadItem = ReadItem,
    .SetItemTimes = SetItemTimes,
    .CanSetCreationTime = CanSetCreationTime,
    .FullPathName = FullPathName,
    .IsDevice = IsDevice,
    .FileSystemName = FileSystemName,
    .FatVolumeOffset = FatVolumeOffset,
    .ShortPathName = ShortPathName,
    .ReadWholeFile = ReadWholeFile,
    .OpenForReading = OpenForReading,
    .ReadAt = ReadAt,
    .CloseReading = CloseReading,
    .LocalDateToUtc = LocalDateToUtc,
    .RunHiddenAndWait = RunHiddenAndWait,
    .StateFolder = StateFolder,
    .MakePrivateFolder = MakePrivateFolder,
    .OpenAppend = OpenAppend,
    .AppendFile = AppendFile,
    .CloseFile = CloseFile,
    .ListFiles = ListFiles,
    .RemoveFile = RemoveFile,
    .OwnershipOf = OwnershipOf,
    .OpenOwnFile = OpenOwnFile,
    .ReadOwnFile = ReadOwnFile,
    .TruncateFile = TruncateFile,
    .LockFile = LockFile,
    .OpenFolderNoFollow = OpenFolderNoFollow,
    .CatchInterrupts = CatchInterrupts,
    .InterruptRequested = InterruptRequested,
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
} // namespace posix

const TPlatform &NativePlatform() {
    return posix::PosixPlatform;
}

void SetProgramArguments(int argc, char **argv) {
    posix::ProgramArguments.assign(argv, argv + argc);
    // A standard stream whose reader has gone, and a write past the file-size
    // limit, are failed writes, reported and ended with exit code 1 like any
    // other, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
