// Files, folders and processes of the native build.

#include "platform/unix/posix_calls.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <linux/capability.h>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace posix {

// Whether the items of one device are on a read-only mount, asked once for the
// items read in one folder (or one listing) as long as their device stays the same.
struct TMountFlags {
    bool Known = false;
    uint64_t Device = 0;
    bool ReadOnly = false;
};

} // namespace posix

// An open folder of a walk.
// An entry of a folder's listing as the listing gave it.
struct TListedEntry {
    std::string Name;
    unsigned char Type = DT_UNKNOWN;
};

struct TFolderState {
    int Fd = -1; // O_PATH: needs no right to list the folder and touches none of its stamps
    // Its real path, asked for rarely (a walk asks for its operand's
    // folder's) and then once; under RealPathLock. A folder keeps no word of
    // the folders above it: a deep walk's open folders hold no more than
    // their descriptors.
    bool Asked = false;
    std::string RealPath;
    // The whole listing read by the last search of the folder, for the next
    // one: a walk searches each folder twice in a row (what a pattern
    // matches, then its sub-folders), and the folder is read once. Only the
    // walk's thread searches a folder.
    std::vector<TListedEntry> Listing;
    bool HasListing = false;
    // Items of one folder are read on several threads at once.
    std::mutex MountLock;
    posix::TMountFlags Mount;
};

// A file open for reading its contents.
struct TReadState {
    int Fd = -1;
};

namespace posix {
namespace {

int DescriptorOf(TFolderHandle folder) {
    return folder ? folder->Fd : AT_FDCWD;
}

// A path made short enough for the system's calls, from a folder. A path
// longer than the system takes (PATH_MAX) has its leading folders opened
// here in pieces shorter than that, each resolved by the system as it would
// resolve the whole path: a link on the way is followed, and a ".." step
// goes up from the real folder reached so far. What is left is named from
// the last folder opened (".": that folder itself). The path must outlive it.
class TReachablePath {
public:
    TReachablePath(int base, const std::string &path) : Base(base), Text(path.c_str()) {
        if (path.size() >= PATH_MAX)
            Reduce(path);
    }
    TReachablePath(int base, std::string &&path) = delete; // it would not outlive the call
    ~TReachablePath() {
        if (Owned >= 0)
            close(Owned);
    }
    TReachablePath(const TReachablePath &) = delete;
    TReachablePath &operator=(const TReachablePath &) = delete;

    // False (errno set) when a leading folder could not be opened.
    bool Reached() const { return Ok; }
    int Fd() const { return Base; }
    const char *Rest() const { return Text; }

private:
    void Reduce(const std::string &path) {
        size_t start = 0;
        while (path.size() - start >= PATH_MAX) {
            // The longest head that ends at a "/" and that the system takes whole.
            const size_t cut = path.rfind('/', start + PATH_MAX - 2);
            if (cut == std::string::npos || cut < start) {
                errno = ENAMETOOLONG; // one name longer than any path
                Ok = false;
                return;
            }
            const std::string head = path.substr(start, cut + 1 - start);
            const int fd = openat(Base, head.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                Ok = false;
                return;
            }
            if (Owned >= 0)
                close(Owned);
            Owned = Base = fd;
            // "a//b" is "a/b": what follows is never taken from the root.
            start = std::min(path.find_first_not_of('/', cut), path.size());
        }
        Left = start < path.size() ? path.substr(start) : ".";
        Text = Left.c_str();
    }

    int Base;
    int Owned = -1;
    const char *Text;
    std::string Left;
    bool Ok = true;
};

struct TDirSearch {
    DIR *Dir = nullptr; // null for a search of one exact name
    std::string NamePattern;
    bool FollowLinks = true;
    bool WithStamps = true; // false: names, folder and link bits only
    TMountFlags Mount;
    // A search of an open folder keeps what it reads for the folder's next
    // search (Replaying: it gives back what the last one kept).
    TFolderState *Folder = nullptr;
    std::vector<TListedEntry> Listing;
    size_t Replayed = 0;
    bool Replaying = false;
    bool ReadToEnd = false;
};

// Folders listed with more entries than this are read again by the next
// search rather than kept in memory.
constexpr size_t KeptListingLimit = 65536;

TDirSearch &SearchOf(TSearchHandle handle) {
    return *reinterpret_cast<TDirSearch *>(handle);
}

bool HasWildcards(const std::string &name) {
    return name.find_first_of("*?") != std::string::npos;
}

// What the kernel checks before it sets an item's stamps to given values:
// the right to set another owner's stamps comes with CAP_FOWNER. Asked once.
struct TProcessRights {
    uid_t EffectiveUser = 0;
    bool SetsAnyOwnersStamps = false;
};

const TProcessRights &ProcessRights() {
    static const TProcessRights rights = [] {
        TProcessRights asked;
        asked.EffectiveUser = geteuid();
        __user_cap_header_struct header{};
        header.version = _LINUX_CAPABILITY_VERSION_3;
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        // Where the capabilities cannot be asked, none is assumed but root's.
        if (syscall(SYS_capget, &header, data) == 0)
            asked.SetsAnyOwnersStamps =
                (data[CAP_FOWNER / 32].effective & (1u << (CAP_FOWNER % 32))) != 0;
        else
            asked.SetsAnyOwnersStamps = asked.EffectiveUser == 0;
        return asked;
    }();
    return rights;
}

// Whether the item `name` in `dirFd` (on `device`) is on a read-only mount;
// the answer for its device is kept in `mount`. `ownEntry`: the item is the
// link itself. An item whose mount cannot be asked counts as writable: the
// write then tells.
bool OnReadOnlyMount(int dirFd, const char *name, bool ownEntry, uint64_t device,
                     TMountFlags &mount) {
    if (mount.Known && mount.Device == device)
        return mount.ReadOnly;
    const int fd = openat(dirFd, name, O_PATH | O_CLOEXEC | (ownEntry ? O_NOFOLLOW : 0));
    struct statvfs info {};
    const bool asked = fd >= 0 && fstatvfs(fd, &info) == 0;
    if (fd >= 0)
        close(fd);
    if (!asked)
        return false;
    mount = TMountFlags{true, device, (info.f_flag & ST_RDONLY) != 0};
    return mount.ReadOnly;
}

// The error code with which the kernel would refuse to set the item's stamps,
// from what it checks first: a name that leads nowhere, a read-only mount, an
// immutable or append-only item, another owner's item; then this program's
// own rule: a file without any write permission bit (a link's own mode says
// nothing) is read-only, also for root.
uint32_t KnownRefusal(int dirFd, const char *name, const struct statx &info, int danglingCode,
                      bool ownEntry, TMountFlags &mount) {
    if (danglingCode != 0)
        return uint32_t(danglingCode);
    const uint64_t device = makedev(info.stx_dev_major, info.stx_dev_minor);
    if (OnReadOnlyMount(dirFd, name, ownEntry, device, mount))
        return EROFS;
    const uint64_t fixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if ((info.stx_attributes & info.stx_attributes_mask & fixed) != 0)
        return EPERM;
    const TProcessRights &rights = ProcessRights();
    if (info.stx_uid != rights.EffectiveUser && !rights.SetsAnyOwnersStamps)
        return EPERM;
    if (!S_ISDIR(info.stx_mode) && !S_ISLNK(info.stx_mode) &&
        (info.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    return 0;
}

// The entry of `name` in the folder `dirFd` from one status call. A link
// that is to be followed but leads nowhere (or in a circle) gives its own,
// and the write, which would follow it, is known to fail.
bool FillEntry(int dirFd, const char *name, bool followLink, TFindData &entry, TMountFlags &mount) {
    struct statx info {};
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    const int flags = AT_STATX_SYNC_AS_STAT | AT_NO_AUTOMOUNT;
    int danglingCode = 0;
    if (statx(dirFd, name, flags | (followLink ? 0 : AT_SYMLINK_NOFOLLOW), mask, &info) != 0) {
        danglingCode = errno;
        if (!followLink || (errno != ENOENT && errno != ELOOP) ||
            statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW, mask, &info) != 0)
            return false;
    }
    entry.IsFolder = S_ISDIR(info.stx_mode);
    entry.IsLink = S_ISLNK(info.stx_mode);
    entry.WriteRefusal =
        KnownRefusal(dirFd, name, info, danglingCode, !followLink || danglingCode != 0, mount);
    const auto stamp = [&](const statx_timestamp &time, int kind, uint64_t &value, uint8_t &nanos) {
        if (!ExactTimespecValue(time.tv_sec, time.tv_nsec, value))
            entry.InexactStamps |= uint8_t(1 << kind);
        nanos = NanosBelowTick(time.tv_nsec);
    };
    stamp(info.stx_mtime, 0, entry.LastWriteTime, entry.LastWriteNanos);
    stamp(info.stx_atime, 2, entry.LastAccessTime, entry.LastAccessNanos);
    if (info.stx_mask & STATX_BTIME)
        stamp(info.stx_btime, 1, entry.CreationTime, entry.CreationNanos);
    entry.VolumeId = (uint64_t(info.stx_dev_major) << 32) | info.stx_dev_minor;
    entry.FileId = info.stx_ino;
    return true;
}

// Folder and link bits of a listed entry from the listing itself; a status
// call only for a link to be followed, or where the file system gives no type.
bool FillBits(int dirFd, const char *name, unsigned char type, bool followLinks, TFindData &entry) {
    entry = TFindData{};
    if (type == DT_UNKNOWN) {
        struct stat info {};
        if (fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
    }
    entry.IsFolder = type == DT_DIR;
    entry.IsLink = type == DT_LNK;
    if (entry.IsLink && followLinks) {
        struct stat target {};
        entry.IsFolder = fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    return true;
}

// The next matching entry; false at the end of the listing (errno 0) or when
// the listing cannot be read (errno set). An entry gone since it was listed
// is passed over.
bool ReadMatching(TDirSearch &search, TFindData &entry) {
    const int dirFd = search.Replaying ? search.Folder->Fd : dirfd(search.Dir);
    for (;;) {
        errno = 0;
        const char *name;
        unsigned char type;
        if (search.Replaying) {
            if (search.Replayed == search.Listing.size())
                return false;
            const TListedEntry &listed = search.Listing[search.Replayed++];
            name = listed.Name.c_str();
            type = listed.Type;
        } else {
            dirent *d = readdir(search.Dir);
            if (!d) {
                search.ReadToEnd = errno == 0;
                return false;
            }
            name = d->d_name;
            type = d->d_type;
            if (search.Folder && search.Listing.size() < KeptListingLimit)
                search.Listing.push_back(TListedEntry{name, type});
            else
                search.Folder = nullptr;
        }
        if (!MatchWildcard(search.NamePattern, name))
            continue;
        const bool filled = search.WithStamps
                                ? FillEntry(dirFd, name, search.FollowLinks, entry, search.Mount)
                                : FillBits(dirFd, name, type, search.FollowLinks, entry);
        if (!filled)
            continue;
        entry.Name = name;
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
TSearchHandle StartSearch(int baseFd, TFolderState *open, const std::string &folder,
                          const std::string &name, bool followLinks, bool withStamps,
                          TFindData &entry) {
    if (name.empty())
        return Failed(nullptr, ENOENT);
    if (!HasWildcards(name)) {
        TMountFlags mount;
        const std::string path = folder + name;
        if (!FillEntry(baseFd, path.c_str(), followLinks, entry, mount))
            return Failed(nullptr);
        // A link followed is still told as one, as a listing tells it.
        struct stat own {};
        if (followLinks && !entry.IsLink &&
            fstatat(baseFd, path.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode))
            entry.IsLink = true;
        entry.Name = name;
        return reinterpret_cast<TSearchHandle>(new TDirSearch{});
    }
    auto *search = new TDirSearch;
    search->NamePattern = name;
    search->FollowLinks = followLinks;
    search->WithStamps = withStamps;
    search->Folder = open;
    if (open && open->HasListing) {
        search->Listing = std::move(open->Listing);
        open->HasListing = false;
        search->Replaying = true;
    } else {
        search->Dir = OpenListing(baseFd, folder.empty() ? "." : folder.c_str());
        if (!search->Dir) {
            delete search;
            return Failed(nullptr);
        }
    }
    if (!ReadMatching(*search, entry)) {
        int code = errno != 0 ? errno : ENOENT; // no entry matches
        FindClose(reinterpret_cast<TSearchHandle>(search));
        return Failed(nullptr, code);
    }
    return reinterpret_cast<TSearchHandle>(search);
}

// A time value is a signed tick count: one before 1601 is negative.
timespec ToTimespec(const TStampWrite &stamp) {
    const auto ticks = int64_t(stamp.Value);
    int64_t seconds = ticks / 10000000, rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    timespec ts{};
    ts.tv_sec = time_t(seconds - EpochDifferenceSeconds);
    ts.tv_nsec = long(rest) * 100 + std::min<long>(stamp.Nanos, 99);
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
    std::vector<std::string> names;
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
        names.push_back(std::move(name));
    }
    if (current >= 0)
        close(current);
    // The names met from the folder up, joined from the root down.
    path.clear();
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path.append("/").append(*name);
    if (path.empty())
        path = "/";
    return ok;
}

// What the system names an open folder, when that name still leads to the
// folder itself (it does not past the length a path may have).
bool NamedPathOf(int fd, std::string &path) {
    struct stat self {
    }, named{};
    if (fstat(fd, &self) != 0 || !ReadLink("/proc/self/fd/" + std::to_string(fd), path) ||
        path.empty() || path[0] != '/')
        return false;
    const TReachablePath reach(AT_FDCWD, path);
    return reach.Reached() && fstatat(reach.Fd(), reach.Rest(), &named, 0) == 0 &&
           SameFile(self, named);
}

std::mutex RealPathLock;

// The real path of an open folder: the name the system gives its
// descriptor, where that still leads to it (not past the length a path may
// have), or else the folder climbed to the root.
std::string RealPathOf(TFolderHandle folder) {
    std::lock_guard<std::mutex> hold(RealPathLock);
    if (!folder->Asked) {
        folder->Asked = true;
        if (!NamedPathOf(folder->Fd, folder->RealPath) &&
            !ClimbedPath(folder->Fd, folder->RealPath))
            folder->RealPath.clear();
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
    // The common "*.txt": an ending of bytes, whatever comes before it.
    if (pattern[0] == '*' && pattern.find_first_of("*?", 1) == std::string::npos)
        return name.size() >= pattern.size() - 1 &&
               name.compare(name.size() - (pattern.size() - 1), std::string::npos, pattern, 1) == 0;
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
    if (pattern.empty() || pattern.back() == '/')
        return Failed(nullptr, ENOENT); // no name to look for
    // The name stays whole in what is left of a long pattern.
    const TReachablePath reach(AT_FDCWD, pattern);
    if (!reach.Reached())
        return Failed(nullptr);
    const std::string rest = reach.Rest();
    const size_t slash = rest.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : rest.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
    return StartSearch(reach.Fd(), nullptr, folder, name, true, true, entry);
}

TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool followLinks,
                          TFindData &entry) {
    return StartSearch(DescriptorOf(folder), folder, "", namePattern, followLinks, false, entry);
}

bool FindNext(TSearchHandle handle, TFindData &entry) {
    TDirSearch &search = SearchOf(handle);
    errno = 0;
    if ((search.Dir || search.Replaying) && ReadMatching(search, entry))
        return true;
    return Failed(false, errno != 0 ? errno : ENODATA); // ENODATA: the end of the listing
}

void FindClose(TSearchHandle handle) {
    TDirSearch *search = &SearchOf(handle);
    if (search->Dir)
        closedir(search->Dir);
    // What was read whole is kept for the folder's next search; a listing
    // given back once is read anew next time.
    if (search->Folder && search->ReadToEnd && !search->Replaying) {
        search->Folder->Listing = std::move(search->Listing);
        search->Folder->HasListing = true;
    }
    delete search;
}

// The state of a folder opened as `fd`.
TFolderHandle NewFolderState(int fd) {
    auto *state = new TFolderState;
    state->Fd = fd;
    return state;
}

TFolderHandle OpenFolder(const std::string &path) {
    const std::string named = path.empty() ? "." : path;
    const TReachablePath reach(AT_FDCWD, named);
    const int fd =
        reach.Reached() ? openat(reach.Fd(), reach.Rest(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd < 0)
        return Failed(nullptr);
    return NewFolderState(fd);
}

TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name) {
    int fd =
        openat(DescriptorOf(parent), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Failed(nullptr);
    return NewFolderState(fd);
}

TFolderHandle OpenFolderNoFollow(const std::string &path) {
    if (path.empty() || path[0] != '/')
        return Failed(nullptr, EINVAL);
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (size_t start = 1; fd >= 0 && start < path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        // A recorded path is a real one: a step up or in place is no part of it.
        const bool plain = name != "." && name != "..";
        const int next =
            plain ? openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
        int code = plain ? errno : EINVAL;
        struct stat info {};
        if (next < 0 && code == ENOTDIR &&
            fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
            code = ELOOP; // a link on the way: never followed
        close(fd);
        fd = next;
        errno = code;
    }
    if (fd < 0)
        return Failed(nullptr);
    return NewFolderState(fd);
}

void CloseFolder(TFolderHandle folder) {
    // No real path is kept for the sub-folders still open: a walk deep down
    // would keep one path per level, each as long as the depth. The run's
    // absolute paths come from the walk's own names.
    close(folder->Fd);
    delete folder;
}

bool FolderIdentity(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId) {
    struct stat info {};
    if (fstat(DescriptorOf(folder), &info) != 0)
        return Failed(false);
    // In the form entries give (FillEntry), so that the two compare.
    volumeId = (uint64_t(major(info.st_dev)) << 32) | minor(info.st_dev);
    fileId = info.st_ino;
    return true;
}

bool ReadItem(TFolderHandle folder, const std::string &name, bool followLink, TFindData &entry) {
    if (name.empty())
        return Failed(false, ENOENT);
    entry = TFindData{};
    const TReachablePath reach(DescriptorOf(folder), name);
    TMountFlags mount;
    if (folder) {
        std::lock_guard<std::mutex> hold(folder->MountLock);
        mount = folder->Mount;
    }
    const TMountFlags known = mount;
    if (!reach.Reached() || !FillEntry(reach.Fd(), reach.Rest(), followLink, entry, mount))
        return Failed(false);
    if (folder && (mount.Known != known.Known || mount.Device != known.Device)) {
        std::lock_guard<std::mutex> hold(folder->MountLock);
        folder->Mount = mount;
    }
    const size_t slash = name.rfind('/');
    entry.Name = slash == std::string::npos ? name : name.substr(slash + 1);
    return true;
}

bool IsDevice(TFolderHandle folder, const std::string &name) {
    if (name.empty())
        return false;
    const TReachablePath reach(DescriptorOf(folder), name);
    struct stat info {};
    if (!reach.Reached() || fstatat(reach.Fd(), reach.Rest(), &info, 0) != 0)
        return false;
    return S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode) ||
           S_ISSOCK(info.st_mode);
}

bool SetItemTimes(TFolderHandle folder, const std::string &name, bool, bool followLink,
                  const TStampWrite *creation, const TStampWrite *lastAccess,
                  const TStampWrite *lastWrite) {
    // A birth time cannot be set here: refuse the whole write before anything changes.
    if (creation)
        return Failed(false, ENOTSUP);
    // One call on the name in its folder: the item is never opened, so a
    // device, a FIFO or a running program is stamped like any file, and a
    // stamp not given keeps every nanosecond.
    timespec times[2];
    times[0] = lastAccess ? ToTimespec(*lastAccess) : timespec{0, UTIME_OMIT};
    times[1] = lastWrite ? ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
    const TReachablePath reach(DescriptorOf(folder), name);
    if (!reach.Reached() ||
        utimensat(reach.Fd(), reach.Rest(), times, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return Failed(false);
    return true;
}

std::string FullPathName(TFolderHandle folder, const std::string &name) {
    if (folder) {
        const std::string path = RealPathOf(folder);
        return path.empty() ? std::string() : Joined(path, name);
    }
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

bool FileSystemName(TFolderHandle folder, const std::string &where, std::string &name) {
    struct statfs info {};
    if (folder) {
        if (fstatfs(folder->Fd, &info) != 0)
            return Failed(false);
    } else {
        const std::string path = where.empty() ? "." : where;
        const TReachablePath reach(AT_FDCWD, path);
        // The item itself is opened, not read: a link leads to what it names.
        const int fd = reach.Reached() ? openat(reach.Fd(), reach.Rest(), O_PATH | O_CLOEXEC) : -1;
        if (fd < 0)
            return Failed(false);
        const bool asked = fstatfs(fd, &info) == 0;
        const int code = errno;
        close(fd);
        if (!asked)
            return Failed(false, code);
    }
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

TReadHandle OpenForReading(TFolderHandle folder, const std::string &name, bool followLink,
                           uint64_t &size) {
    if (name.empty())
        return Failed(nullptr, ENOENT);
    const TReachablePath reach(DescriptorOf(folder), name);
    if (!reach.Reached())
        return Failed(nullptr);
    // O_NONBLOCK: a FIFO put in the file's place cannot stop the open, and
    // O_NOCTTY: a terminal does not become the program's.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW);
    const int fd = openat(reach.Fd(), reach.Rest(), flags);
    if (fd < 0)
        return Failed(nullptr);
    struct stat info {};
    const int code = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (code != 0) {
        close(fd);
        return Failed(nullptr, code);
    }
    size = uint64_t(info.st_size);
    auto *state = new TReadState;
    state->Fd = fd;
    return state;
}

bool ReadAt(TReadHandle file, uint64_t offset, void *buffer, size_t size, size_t &read) {
    read = 0;
    if (offset > uint64_t(std::numeric_limits<off_t>::max()))
        return true; // past any end
    auto *bytes = static_cast<char *>(buffer);
    while (read < size) {
        const ssize_t n = pread(file->Fd, bytes + read, size - read, off_t(offset + read));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Failed(false);
        }
        if (n == 0)
            break;
        read += size_t(n);
    }
    return true;
}

void CloseReading(TReadHandle file) {
    close(file->Fd);
    delete file;
}

namespace {

// The super-block options of the vfat or msdos mount of device `device` in
// /proc/self/mountinfo; false where none is listed.
bool FatMountOptions(dev_t device, std::string &options) {
    const int fd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
    }
    close(fd);
    const std::string id = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    // "36 35 8:1 /root /mnt rw,noatime shared:1 - vfat /dev/sdb1 rw,time_offset=540,..."
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> fields;
        for (size_t at = 0; at < line.size();) {
            const size_t blank = std::min(line.find(' ', at), line.size());
            fields.push_back(line.substr(at, blank - at));
            at = blank + 1;
        }
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 3 || fields[2] != id || fields.end() - dash < 4)
            continue;
        if (dash[1] == "vfat" || dash[1] == "msdos") {
            options = dash[3];
            return true;
        }
    }
    return false;
}

} // namespace

bool FatVolumeOffset(TFolderHandle folder, const std::string &where, int32_t &offsetSeconds) {
    struct stat info {};
    if (folder) {
        if (fstat(folder->Fd, &info) != 0)
            return Failed(false);
    } else {
        const TReachablePath reach(AT_FDCWD, where.empty() ? "." : where);
        if (!reach.Reached() || fstatat(reach.Fd(), reach.Rest(), &info, 0) != 0)
            return Failed(false);
    }
    std::string options;
    if (!FatMountOptions(info.st_dev, options))
        return Failed(false, ENOENT);
    // The driver keeps local time at time_offset= (minutes east of UTC) or,
    // with tz=UTC, at UTC; without either at the kernel's time zone, which
    // only the system call tells (glibc's gettimeofday gives zeros).
    for (size_t at = 0; at <= options.size();) {
        const size_t comma = std::min(options.find(',', at), options.size());
        const std::string option = options.substr(at, comma - at);
        at = comma + 1;
        if (option == "tz=UTC") {
            offsetSeconds = 0;
            return true;
        }
        if (option.rfind("time_offset=", 0) == 0) {
            char *end = nullptr;
            const long minutes = strtol(option.c_str() + 12, &end, 10);
            if (*end != '\0' || minutes < -24 * 60 || minutes > 24 * 60)
                return Failed(false, EINVAL);
            offsetSeconds = int32_t(minutes * 60);
            return true;
        }
    }
    struct timeval now {};
    struct timezone zone {};
    if (syscall(SYS_gettimeofday, &now, &zone) != 0)
        return Failed(false);
    offsetSeconds = -zone.tz_minuteswest * 60;
    return true;
}

bool ShortPathName(const std::string &path, std::string &shortPath) {
    struct stat info {};
    const TReachablePath reach(AT_FDCWD, path);
    if (!reach.Reached() || fstatat(reach.Fd(), reach.Rest(), &info, 0) != 0)
        return Failed(false);
    shortPath = path;
    return true;
}

bool ReadWholeFile(const std::string &path, std::string &data) {
    const TReachablePath reach(AT_FDCWD, path);
    const int fd = reach.Reached() ? openat(reach.Fd(), reach.Rest(), O_RDONLY | O_CLOEXEC) : -1;
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
