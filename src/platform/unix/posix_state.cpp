// The native build's own files (its journal) and interrupts.

#include "platform/unix/posix_calls.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct TFileState {
    int Fd = -1;
};

namespace posix {

namespace {

// Set by the first SIGINT or SIGTERM once they are caught.
volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int) {
    Interrupted = 1;
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
        if (!folder.empty() && folder.back() != '/') {
            if (mkdir(folder.c_str(), 0700) == 0) {
                // The umask may have taken the owner's own bits away.
                if (chmod(folder.c_str(), 0700) != 0)
                    return Failed(false);
            } else if (const int code = errno; code != EEXIST || !IsFolderAt(folder)) {
                return Failed(false, code == EEXIST ? ENOTDIR : code);
            }
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
    if (create && fchmod(fd, 0600) != 0) {
        const int code = errno;
        close(fd);
        unlink(path.c_str());
        return Failed(nullptr, code);
    }
    return new TFileState{fd};
}

bool AppendFile(TFileHandle file, const char *data, size_t size) {
    const off_t before = lseek(file->Fd, 0, SEEK_END);
    if (WriteAll(file->Fd, data, size))
        return true;
    const int code = errno;
    // A part written is taken back: the file ends with a whole line.
    if (before >= 0)
        while (ftruncate(file->Fd, before) != 0 && errno == EINTR) {
        }
    return Failed(false, code);
}

TOwnership OwnershipOf(const std::string &path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? owMissing : Failed(owUnreadable);
    if (S_ISLNK(info.st_mode))
        return owLink;
    if (!S_ISDIR(info.st_mode))
        return owWrongType;
    if (info.st_uid != geteuid())
        return owOtherOwner;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return owOthersWrite;
    return owOwn;
}

TFileHandle OpenOwnFile(const std::string &path, TOwnership &problem) {
    const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = open(path.c_str(), flags);
    struct stat info {};
    if (fd < 0 && errno == EACCES && lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_uid == geteuid() && chmod(path.c_str(), 0600) == 0)
        // A journal that an earlier umask left without the owner's bits.
        fd = open(path.c_str(), flags);
    if (fd < 0) {
        const int code = errno;
        problem = code == ENOENT ? owMissing : code == ELOOP ? owLink : owUnreadable;
        return Failed(nullptr, code);
    }
    problem = fstat(fd, &info) != 0      ? owUnreadable
              : !S_ISREG(info.st_mode)   ? owWrongType
              : info.st_uid != geteuid() ? owOtherOwner
                                         : owOwn;
    if (problem != owOwn) {
        const int code = problem == owUnreadable ? errno : EPERM;
        close(fd);
        return Failed(nullptr, code);
    }
    return new TFileState{fd};
}

bool ReadOwnFile(TFileHandle file, std::string &data) {
    data.clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = pread(file->Fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(false);
        if (n == 0)
            return true;
        data.append(buffer, size_t(n));
        at += n;
    }
}

bool TruncateFile(TFileHandle file, uint64_t size) {
    for (;;) {
        if (ftruncate(file->Fd, off_t(size)) == 0)
            return true;
        if (errno != EINTR)
            return Failed(false);
    }
}

bool LockFile(TFileHandle file) {
    for (;;) {
        if (flock(file->Fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return Failed(false, errno == EWOULDBLOCK ? EWOULDBLOCK : errno);
    }
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
    return Interrupted != 0;
}

} // namespace posix
