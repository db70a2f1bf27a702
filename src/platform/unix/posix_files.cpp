// Files, folders and processes of the native build.

#include "platform/unix/posix_calls.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace posix {
namespace {

struct TDirSearch {
    DIR *Dir = nullptr; // null for a search of one exact name
    std::string NamePattern;
    bool NamesOnly = false; // the caller needs no stamps of files
};

TDirSearch &SearchOf(TSearchHandle handle) {
    return *reinterpret_cast<TDirSearch *>(handle);
}

bool HasWildcards(const std::string &name) {
    return name.find_first_of("*?") != std::string::npos;
}

bool FillFromStatx(int dirFd, const char *name, TFindData &entry) {
    struct statx info {};
    unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (statx(dirFd, name, AT_STATX_SYNC_AS_STAT, mask, &info) != 0 &&
        statx(dirFd, name, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &info) != 0)
        return false;
    entry.IsFolder = S_ISDIR(info.stx_mode);
    entry.ReadOnly = !entry.IsFolder && (info.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    entry.LastWriteTime = TimespecToValue(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    entry.LastAccessTime = TimespecToValue(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    entry.CreationTime = (info.stx_mask & STATX_BTIME)
                             ? TimespecToValue(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
                             : 0;
    entry.VolumeId = (uint64_t(info.stx_dev_major) << 32) | info.stx_dev_minor;
    entry.FileId = info.stx_ino;
    return true;
}

// An entry that the directory itself reports as neither a folder nor a link
// (nor of unknown type) is no folder whatever its status says.
bool SurelyNoFolder(const dirent &d) {
    return d.d_type != DT_DIR && d.d_type != DT_LNK && d.d_type != DT_UNKNOWN;
}

// The next matching entry; false at the end of the listing (errno 0) or when
// the listing cannot be read (errno set).
bool ReadMatching(TDirSearch &search, TFindData &entry) {
    for (;;) {
        errno = 0;
        dirent *d = readdir(search.Dir);
        if (!d)
            return false;
        if (!MatchWildcard(search.NamePattern, d->d_name))
            continue;
        if (search.NamesOnly && SurelyNoFolder(*d)) {
            entry = TFindData{};
            entry.Name = d->d_name;
            return true;
        }
        if (!FillFromStatx(dirfd(search.Dir), d->d_name, entry))
            continue;
        entry.Name = d->d_name;
        return true;
    }
}

// Reading a folder's listing would set its access stamp to now: the access
// stamp just given to a folder would not last through the search of its
// contents, and a preview would change it. Where the kernel allows it (the
// owner, root), the listing leaves it alone.
DIR *OpenListing(const char *folder) {
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        int code = errno;
        close(fd);
        errno = code;
    }
    return dir;
}

TSearchHandle StartSearch(const std::string &pattern, TFindData &entry, bool namesOnly) {
    size_t slash = pattern.rfind('/');
    std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (name.empty())
        return Failed(nullptr, ENOENT);
    if (!HasWildcards(name)) {
        if (!FillFromStatx(AT_FDCWD, pattern.c_str(), entry))
            return Failed(nullptr);
        entry.Name = name;
        return reinterpret_cast<TSearchHandle>(new TDirSearch{});
    }
    DIR *dir = OpenListing(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return Failed(nullptr);
    auto *search = new TDirSearch{dir, name, namesOnly};
    if (!ReadMatching(*search, entry)) {
        int code = errno != 0 ? errno : ENOENT; // no entry matches
        FindClose(reinterpret_cast<TSearchHandle>(search));
        return Failed(nullptr, code);
    }
    return reinterpret_cast<TSearchHandle>(search);
}

timespec ToTimespec(uint64_t value) {
    timespec ts{};
    ts.tv_sec = time_t(int64_t(value / 10000000ULL) - EpochDifferenceSeconds);
    ts.tv_nsec = long(value % 10000000ULL) * 100;
    return ts;
}

} // namespace

bool MatchWildcard(const std::string &pattern, const std::string &name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

TSearchHandle FindFirst(const std::string &pattern, TFindData &entry) {
    return StartSearch(pattern, entry, false);
}

TSearchHandle FindFirstNames(const std::string &pattern, TFindData &entry) {
    return StartSearch(pattern, entry, true);
}

bool FindNext(TSearchHandle handle, TFindData &entry) {
    TDirSearch &search = SearchOf(handle);
    errno = 0;
    if (search.Dir && ReadMatching(search, entry))
        return true;
    return Failed(false, errno != 0 ? errno : ENODATA); // ENODATA: the end of the listing
}

void FindClose(TSearchHandle handle) {
    TDirSearch *search = &SearchOf(handle);
    if (search->Dir)
        closedir(search->Dir);
    delete search;
}

bool SetItemTimes(const std::string &path, bool isFolder, const uint64_t *creation,
                  const uint64_t *lastAccess, const uint64_t *lastWrite) {
    // A birth time cannot be set here: refuse the whole write before anything changes.
    if (creation)
        return Failed(false, ENOTSUP);
    // O_NONBLOCK: a FIFO without a reader must fail, not hang the run.
    int fd = open(path.c_str(), isFolder ? (O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                         : (O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
        return Failed(false);
    // A file that nobody may write is read-only, for root too (as the read-only
    // attribute is on Windows): it keeps its stamps.
    struct stat info {};
    int code = 0;
    if (!isFolder && fstat(fd, &info) != 0)
        code = errno;
    else if (!isFolder && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        code = EACCES;
    if (code == 0) {
        timespec times[2];
        times[0] = lastAccess ? ToTimespec(*lastAccess) : timespec{0, UTIME_OMIT};
        times[1] = lastWrite ? ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
        if (futimens(fd, times) != 0)
            code = errno;
    }
    close(fd);
    return code == 0 || Failed(false, code);
}

bool CanSetCreationTime() {
    return Failed(false, ENOTSUP); // no call writes a birth time
}

bool FileSystemName(const std::string &where, std::string &name) {
    struct statfs info {};
    if (statfs(where.empty() ? "." : where.c_str(), &info) != 0)
        return Failed(false);
    switch (uint64_t(info.f_type)) {
    case 0x4d44:
        name = "FAT";
        break; // msdos, vfat
    case 0x2011BAB0:
        name = "exFAT";
        break; // exfat
    case 0x5346544e:
        name = "NTFS";
        break; // ntfs
    case 0x7366746e:
        name = "NTFS";
        break; // ntfs3
    case 0xEF53:
        name = "ext4";
        break;
    case 0x01021994:
        name = "tmpfs";
        break;
    case 0x9123683E:
        name = "btrfs";
        break;
    case 0x58465342:
        name = "xfs";
        break;
    case 0x794c7630:
        name = "overlay";
        break;
    default:
        name = "other";
        break;
    }
    return true;
}

std::string FullPathName(const std::string &path) {
    std::string joined = path;
    if (path.empty() || path[0] != '/') {
        char buffer[4096];
        std::string cwd = getcwd(buffer, sizeof buffer) ? buffer : "/";
        joined = cwd + "/" + path;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string &part : parts)
        result += "/" + part;
    if (result.empty() || (!path.empty() && path.back() == '/' && !parts.empty()))
        result += "/";
    return result;
}

bool ShortPathName(const std::string &path, std::string &shortPath) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return Failed(false);
    shortPath = path;
    return true;
}

bool ReadWholeFile(const std::string &path, std::string &data) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Failed(false);
    struct stat info {};
    int code = 0;
    if (fstat(fd, &info) != 0)
        code = errno;
    else if (S_ISDIR(info.st_mode))
        code = EISDIR;
    if (code == 0)
        data.clear();
    char buffer[65536];
    while (code == 0) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            code = errno;
        if (n <= 0)
            break;
        data.append(buffer, size_t(n));
    }
    close(fd);
    return code == 0 || Failed(false, code);
}

bool RunHiddenAndWait(const std::string &commandLine) {
    const char *argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid = 0;
    if (int code =
            posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char **>(argv), environ);
        code != 0)
        return Failed(false, code);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace posix
