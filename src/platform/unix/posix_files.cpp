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

// An open folder of a walk. Its real path is asked for by restore lines only,
// and then once.
struct TFolderState {
    int Fd = -1; // O_PATH: needs no right to list the folder and touches none of its stamps
    TFolderState *Parent = nullptr;
    std::string Name; // in Parent
    std::string RealPath;
    bool RealPathAsked = false;
};

namespace posix {
namespace {

int DescriptorOf(TFolderHandle folder) {
    return folder ? folder->Fd : AT_FDCWD;
}

struct TDirSearch {
    DIR *Dir = nullptr; // null for a search of one exact name
    std::string NamePattern;
    bool FollowLinks = true;
    bool WithStamps = true; // false: names, folder and link bits only
};

TDirSearch &SearchOf(TSearchHandle handle) {
    return *reinterpret_cast<TDirSearch *>(handle);
}

bool HasWildcards(const std::string &name) {
    return name.find_first_of("*?") != std::string::npos;
}

// The entry of `name` in the folder `dirFd` from one status call. A link
// that is to be followed but leads nowhere (or in a circle) gives its own.
bool FillEntry(int dirFd, const char *name, bool followLink, TFindData &entry) {
    struct statx info {};
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    const int flags = AT_STATX_SYNC_AS_STAT | AT_NO_AUTOMOUNT;
    if (statx(dirFd, name, flags | (followLink ? 0 : AT_SYMLINK_NOFOLLOW), mask, &info) != 0 &&
        (!followLink || (errno != ENOENT && errno != ELOOP) ||
         statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW, mask, &info) != 0))
        return false;
    entry.IsFolder = S_ISDIR(info.stx_mode);
    entry.IsLink = S_ISLNK(info.stx_mode);
    // A link's own mode says nothing: it is never read-only.
    entry.ReadOnly =
        !entry.IsFolder && !entry.IsLink && (info.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    entry.LastWriteTime = TimespecToValue(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    entry.LastAccessTime = TimespecToValue(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    entry.CreationTime = (info.stx_mask & STATX_BTIME)
                             ? TimespecToValue(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
                             : 0;
    entry.VolumeId = (uint64_t(info.stx_dev_major) << 32) | info.stx_dev_minor;
    entry.FileId = info.stx_ino;
    return true;
}

// Folder and link bits of a listed entry from the listing itself; a status
// call only for a link to be followed, or where the file system gives no type.
bool FillBits(int dirFd, const dirent &d, bool followLinks, TFindData &entry) {
    entry = TFindData{};
    unsigned char type = d.d_type;
    if (type == DT_UNKNOWN) {
        struct stat info {};
        if (fstatat(dirFd, d.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
    }
    entry.IsFolder = type == DT_DIR;
    entry.IsLink = type == DT_LNK;
    if (entry.IsLink && followLinks) {
        struct stat target {};
        entry.IsFolder = fstatat(dirFd, d.d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    return true;
}

// The next matching entry; false at the end of the listing (errno 0) or when
// the listing cannot be read (errno set). An entry gone since it was listed
// is passed over.
bool ReadMatching(TDirSearch &search, TFindData &entry) {
    for (;;) {
        errno = 0;
        dirent *d = readdir(search.Dir);
        if (!d)
            return false;
        if (!MatchWildcard(search.NamePattern, d->d_name))
            continue;
        const bool filled = search.WithStamps
                                ? FillEntry(dirfd(search.Dir), d->d_name, search.FollowLinks, entry)
                                : FillBits(dirfd(search.Dir), *d, search.FollowLinks, entry);
        if (!filled)
            continue;
        entry.Name = d->d_name;
        return true;
    }
}

// Reading a folder's listing would set its access stamp to now: the access
// stamp just given to a folder would not last through the search of its
// contents, and a preview would change it. Where the kernel allows it (the
// owner, root), the listing leaves it alone.
DIR *OpenListing(int baseFd, const char *folder) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = openat(baseFd, folder, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = openat(baseFd, folder, flags);
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

// A search of `name` in the folder `folder` (a path relative to `baseFd`,
// ending in "/", or empty for that folder itself).
TSearchHandle StartSearch(int baseFd, const std::string &folder, const std::string &name,
                          bool followLinks, bool withStamps, TFindData &entry) {
    if (name.empty())
        return Failed(nullptr, ENOENT);
    if (!HasWildcards(name)) {
        if (!FillEntry(baseFd, (folder + name).c_str(), followLinks, entry))
            return Failed(nullptr);
        entry.Name = name;
        return reinterpret_cast<TSearchHandle>(new TDirSearch{});
    }
    DIR *dir = OpenListing(baseFd, folder.empty() ? "." : folder.c_str());
    if (!dir)
        return Failed(nullptr);
    auto *search = new TDirSearch{dir, name, followLinks, withStamps};
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

// The length of the character that starts at `i`: one UTF-8 sequence, or
// one byte where no valid sequence starts.
size_t CharLength(const std::string &text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = lead < 0x80   ? 1
                    : lead < 0xC2 ? 0
                    : lead < 0xE0 ? 2
                    : lead < 0xF0 ? 3
                    : lead < 0xF5 ? 4
                                  : 0;
    if (length <= 1 || i + length > text.size())
        return 1;
    // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 1;
    for (size_t k = i + 2; k < i + length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 1;
    return length;
}

} // namespace

bool ReadLink(const std::string &path, std::string &target) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (size_t(n) < buffer.size()) {
            target.assign(buffer.data(), size_t(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

bool SameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The name under which the folder `child` stands in `parent`; false when it
// is not there.
bool NameInParent(int parent, const struct stat &above, const struct stat &child,
                  std::string &name) {
    DIR *dir = OpenListing(parent, ".");
    if (!dir)
        return false;
    bool found = false;
    while (const dirent *d = readdir(dir)) {
        const std::string entry = d->d_name;
        if (entry == "." || entry == "..")
            continue;
        // A mount point is listed with the inode of the folder beneath it.
        if (above.st_dev == child.st_dev && d->d_ino != child.st_ino)
            continue;
        struct stat info {};
        if (fstatat(parent, d->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(info, child)) {
            name = entry;
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

// The path of an open folder found by climbing from it to the root, name by
// name: no length limit, and no link on the way.
bool ClimbedPath(int fd, std::string &path) {
    int current = openat(fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (current < 0)
        return false;
    std::string result;
    bool ok = true;
    for (;;) {
        struct stat here {
        }, above{};
        int up = openat(current, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        std::string name;
        ok = up >= 0 && fstat(current, &here) == 0 && fstat(up, &above) == 0;
        if (ok && SameFile(here, above)) {
            close(up);
            break; // the root
        }
        ok = ok && NameInParent(up, above, here, name);
        close(current);
        current = up;
        if (!ok)
            break;
        result.insert(0, "/" + name);
    }
    if (current >= 0)
        close(current);
    path = result.empty() ? "/" : result;
    return ok;
}

// What the system names an open folder, when that name still leads to the
// folder itself (it does not past the length a path may have).
bool NamedPathOf(int fd, std::string &path) {
    struct stat self {
    }, named{};
    return fstat(fd, &self) == 0 && ReadLink("/proc/self/fd/" + std::to_string(fd), path) &&
           !path.empty() && path[0] == '/' && stat(path.c_str(), &named) == 0 &&
           SameFile(self, named);
}

// The real path of an open folder: the name the system gives it, or else a
// sub-folder's from its parent's and its own name (the walk follows no link
// below the operand's folder), the operand's folder's climbed to the root.
const std::string &RealPathOf(TFolderHandle folder) {
    if (!folder->RealPathAsked) {
        folder->RealPathAsked = true;
        if (NamedPathOf(folder->Fd, folder->RealPath))
            return folder->RealPath;
        folder->RealPath.clear();
        if (!folder->Parent) {
            if (!ClimbedPath(folder->Fd, folder->RealPath))
                folder->RealPath.clear();
        } else if (const std::string &above = RealPathOf(folder->Parent); !above.empty()) {
            folder->RealPath = (above.back() == '/' ? above : above + "/") + folder->Name;
        }
    }
    return folder->RealPath;
}

std::string Joined(const std::string &folder, const std::string &name) {
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

} // namespace

bool MatchWildcard(const std::string &pattern, const std::string &name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    // "?" takes one character, and a "*" gives up one character at a time.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharLength(name, n);
        } else if (p < pattern.size() && pattern[p] != '*' && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            starN += CharLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

TSearchHandle FindFirst(const std::string &pattern, TFindData &entry) {
    size_t slash = pattern.rfind('/');
    std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    return StartSearch(AT_FDCWD, folder, name, true, true, entry);
}

TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool followLinks,
                          TFindData &entry) {
    return StartSearch(DescriptorOf(folder), "", namePattern, followLinks, false, entry);
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

TFolderHandle OpenFolder(const std::string &path) {
    int fd = open(path.empty() ? "." : path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Failed(nullptr);
    return new TFolderState{fd, nullptr, "", "", false};
}

TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name) {
    int fd =
        openat(DescriptorOf(parent), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Failed(nullptr);
    return new TFolderState{fd, parent, name, "", false};
}

void CloseFolder(TFolderHandle folder) {
    close(folder->Fd);
    delete folder;
}

bool FolderIdentity(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId) {
    struct stat info {};
    if (fstat(DescriptorOf(folder), &info) != 0)
        return Failed(false);
    volumeId = info.st_dev;
    fileId = info.st_ino;
    return true;
}

bool ReadItem(TFolderHandle folder, const std::string &name, bool followLink, TFindData &entry) {
    if (name.empty())
        return Failed(false, ENOENT);
    entry = TFindData{};
    if (!FillEntry(DescriptorOf(folder), name.c_str(), followLink, entry))
        return Failed(false);
    const size_t slash = name.rfind('/');
    entry.Name = slash == std::string::npos ? name : name.substr(slash + 1);
    return true;
}

bool SetItemTimes(TFolderHandle folder, const std::string &name, bool, bool followLink,
                  const uint64_t *creation, const uint64_t *lastAccess, const uint64_t *lastWrite) {
    // A birth time cannot be set here: refuse the whole write before anything changes.
    if (creation)
        return Failed(false, ENOTSUP);
    // One call on the name in its folder: the item is never opened, so a
    // device, a FIFO or a running program is stamped like any file, and a
    // stamp not given keeps every nanosecond.
    timespec times[2];
    times[0] = lastAccess ? ToTimespec(*lastAccess) : timespec{0, UTIME_OMIT};
    times[1] = lastWrite ? ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
    if (utimensat(DescriptorOf(folder), name.c_str(), times,
                  followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return Failed(false);
    return true;
}

std::string FullPathName(TFolderHandle folder, const std::string &name) {
    if (folder)
        return RealPathOf(folder).empty() ? std::string() : Joined(RealPathOf(folder), name);
    // A path from the current folder: its folder part is opened as the
    // system resolves it, links and ".." steps included.
    const size_t slash = name.rfind('/');
    std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string parent = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") {
        parent = name;
        leaf.clear();
    }
    TFolderHandle opened = OpenFolder(parent);
    if (!opened)
        return std::string();
    std::string path = RealPathOf(opened);
    CloseFolder(opened);
    if (path.empty() || leaf.empty())
        return path;
    return Joined(path, leaf);
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

bool RunHiddenAndWait(const std::string &commandLine, uint32_t &exitCode) {
    exitCode = 0;
    const char *argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid = 0;
    if (int code =
            posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char **>(argv), environ);
        code != 0)
        return Failed(false, code);
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    // The shell's way: a program ended by a signal ends with 128 and the signal.
    if (waited < 0)
        exitCode = uint32_t(ECHILD);
    else if (WIFEXITED(status))
        exitCode = uint32_t(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        exitCode = uint32_t(128 + WTERMSIG(status));
    if (exitCode != 0)
        Failed(false, int(exitCode));
    return true;
}

} // namespace posix
