// The native build's own files (its journal) and interrupts.

#include "platform/unix/posix_calls.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

struct TFileState {
    int Fd = -1;
};

namespace posix {

namespace {

// Set by the first SIGINT or SIGTERM once they are caught.
// Set by the signal handler, read by every thread of the run: a lock-free
// atomic is safe in both places.
std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) {
    Interrupted.store(true);
}

bool IsFolderAt(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string HomeFolder() {
    const char *home = getenv("HOME");
    if (home && home[0] == '/')
        return home;
    if (const passwd *user = getpwuid(getuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        return user->pw_dir;
    errno = ENOENT;
    return "";
}

bool StateFolder(std::string &path) {
    const char *state = getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') {
        path = std::string(state) + "/kelvard";
        return true;
    }
    const std::string home = HomeFolder();
    if (home.empty())
        return Failed(false, ENOENT);
    path = home + "/.local/state/kelvard";
    return true;
}

bool MakePrivateFolder(const std::string &path) {
    if (path.empty() || path[0] != '/')
        return Failed(false, EINVAL);
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string folder = path.substr(0, end);
        if (!folder.empty() && folder.back() != '/' && mkdir(folder.c_str(), 0700) != 0) {
            const int code = errno;
            if (code != EEXIST || !IsFolderAt(folder))
                return Failed(false, code == EEXIST ? ENOTDIR : code);
        }
        if (end == std::string::npos)
            return true;
    }
}

TFileHandle OpenAppend(const std::string &path, bool create) {
    const int flags =
        O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT | O_EXCL : 0);
    const int fd = open(path.c_str(), flags, 0600);
    if (fd < 0)
        return Failed(nullptr);
    return new TFileState{fd};
}

bool AppendFile(TFileHandle file, const char *data, size_t size) {
    return WriteAll(file->Fd, data, size) || Failed(false);
}

void CloseFile(TFileHandle file) {
    close(file->Fd);
    delete file;
}

bool ListFiles(const std::string &folder, std::vector<TFileListing> &files) {
    files.clear();
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return Failed(false);
    errno = 0;
    while (const dirent *d = readdir(dir)) {
        struct stat info {};
        if (fstatat(dirfd(dir), d->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode))
            files.push_back(TFileListing{d->d_name, uint64_t(info.st_size)});
        errno = 0;
    }
    const int code = errno;
    closedir(dir);
    return code == 0 || Failed(false, code);
}

bool RemoveFile(const std::string &path) {
    return unlink(path.c_str()) == 0 || Failed(false);
}

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Calls interrupted go on; the handler is gone after the first signal,
    // so that a second one ends the program at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
    return Interrupted.load();
}

} // namespace posix
