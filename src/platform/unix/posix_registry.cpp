// The registry of the native build: a folder tree under the user's
// configuration folder, ${XDG_CONFIG_HOME:-$HOME/.config}, which stands for
// HKEY_CURRENT_USER.
//
// - A key is a folder. "\software\Varnhold\kelvard" is the folder
//   software/Varnhold/kelvard below the configuration folder.
// - A value is a regular file in its key's folder, named after the value with
//   ".value" appended. Its first line is the type (REG_SZ, REG_EXPAND_SZ,
//   REG_DWORD, REG_BINARY, ...), ended by one LF; the data follows that LF
//   byte for byte: the text of a string (no terminating NUL, no line end of
//   its own), the decimal number of a DWORD.
// - Key and value names match without regard to ASCII case; a name is stored
//   as first written. In a name on disk "%" and "/" are written %25 and %2F,
//   and a leading "." as %2E, so names beginning with "." are never keys or
//   values (the temporary files of a write are such names).
// - Every write goes to a temporary file in the key's folder, which is then
//   renamed over the value's file: a reader sees the old value or the new one,
//   never a part.
//
// The helpers below leave errno set when they fail; the calls of the table
// keep it as the reason.

#include "platform/unix/posix_calls.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posix {

namespace {

constexpr const char *ValueSuffix = ".value";

// An open key: the absolute path of its folder.
struct TKeyHandle {
    std::string Folder;
};

// The configuration folder that holds the tree; empty when there is none.
std::string RootFolder() {
    const char *config = getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return config;
    const char *home = getenv("HOME");
    std::string homeFolder = home && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
        if (const passwd *user = getpwuid(getuid()); user && user->pw_dir && user->pw_dir[0] == '/')
            homeFolder = user->pw_dir;
    }
    if (homeFolder.empty()) {
        errno = ENOENT;
        return "";
    }
    return homeFolder + "/.config";
}

// The names of a key path, without empty ones: "\a\\b\" gives a and b.
std::vector<std::string> KeyNames(const std::string &path) {
    std::vector<std::string> names;
    std::string current;
    for (char c : path) {
        if (c == '\\') {
            if (!current.empty())
                names.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        names.push_back(current);
    return names;
}

// Whether `path` is a folder (wantFolder) or a regular file.
bool IsOfKind(const std::string &path, bool wantFolder) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return false;
    if (wantFolder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode))
        return true;
    errno = wantFolder ? ENOTDIR : EISDIR;
    return false;
}

bool IsFolder(const std::string &path) {
    return IsOfKind(path, true);
}

// The entry of `folder` whose name is `diskName` without regard to case and
// that is a folder (wantFolder) or a regular file; empty when there is none.
std::string FindEntry(const std::string &folder, const std::string &diskName, bool wantFolder) {
    std::string exact = folder + "/" + diskName;
    if (IsOfKind(exact, wantFolder))
        return exact;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return "";
    std::string wanted = AsciiLower(diskName), found;
    while (const dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name[0] == '.' || AsciiLower(name) != wanted)
            continue;
        if (IsOfKind(folder + "/" + name, wantFolder)) {
            found = folder + "/" + name;
            break;
        }
    }
    closedir(dir);
    if (found.empty())
        errno = ENOENT;
    return found;
}

// The folder of an existing key; empty when the key does not exist.
std::string KeyFolder(const std::string &path) {
    std::string folder = RootFolder();
    if (folder.empty() || !IsFolder(folder))
        return "";
    for (const std::string &name : KeyNames(path)) {
        folder = FindEntry(folder, EscapeName(name), true);
        if (folder.empty())
            return "";
    }
    return folder;
}

bool MakeFolder(const std::string &path) {
    return mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsFolder(path));
}

// The folder of a key, created with every missing folder above it.
std::string CreateKeyFolder(const std::string &path) {
    std::string root = RootFolder();
    if (root.empty())
        return "";
    // The configuration folder itself, and its parents, as needed.
    for (size_t pos = root.find('/', 1); pos != std::string::npos; pos = root.find('/', pos + 1))
        if (!MakeFolder(root.substr(0, pos)))
            return "";
    if (!MakeFolder(root))
        return "";
    std::string folder = root;
    for (const std::string &name : KeyNames(path)) {
        std::string diskName = EscapeName(name);
        std::string next = FindEntry(folder, diskName, true);
        if (next.empty()) {
            next = folder + "/" + diskName;
            if (!MakeFolder(next))
                return "";
        }
        folder = next;
    }
    return folder;
}

// A handle on the key folder `folder` that `rights` allows; nullptr when the
// key does not exist or the access is denied.
TRegHandle OpenHandle(const std::string &folder, int rights) {
    if (folder.empty() || access(folder.c_str(), rights) != 0)
        return Failed(nullptr);
    return reinterpret_cast<TRegHandle>(new TKeyHandle{folder});
}

const std::string &FolderOf(TRegHandle key) {
    return reinterpret_cast<TKeyHandle *>(key)->Folder;
}

// Replaces the value's file (or makes it) with the type line and the data.
bool WriteValue(TRegHandle key, const std::string &name, const std::string &type,
                const std::string &data) {
    if (!key)
        return Failed(false, EBADF);
    const std::string &folder = FolderOf(key);
    if (!IsFolder(folder))
        return Failed(false);
    std::string diskName = EscapeName(name) + ValueSuffix;
    std::string target = FindEntry(folder, diskName, false);
    if (target.empty())
        target = folder + "/" + diskName;
    std::string temporary = folder + "/.tmp-XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Failed(false);
    const std::string content = type + "\n" + data;
    bool ok = WriteAll(fd, content.data(), content.size()) && fsync(fd) == 0;
    int code = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok)
        unlink(temporary.c_str());
    return ok || Failed(false, code);
}

// Every entry of a folder but "." and "..".
bool ListFolder(const std::string &folder, std::vector<std::string> &names) {
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return true;
}

// The number of sub-keys among the entries of a key folder.
int CountSubKeys(const std::string &folder, const std::vector<std::string> &names) {
    int count = 0;
    for (const std::string &name : names)
        if (name[0] != '.' && IsFolder(folder + "/" + name))
            ++count;
    return count;
}

// Lists a key folder for deletion: false when that fails or when the key has
// sub-keys that may not go with it.
bool ListForDeletion(const std::string &folder, bool withSubKeys, std::vector<std::string> &names) {
    if (!ListFolder(folder, names))
        return false;
    if (!withSubKeys && CountSubKeys(folder, names) != 0) {
        errno = ENOTEMPTY;
        return false;
    }
    return true;
}

// The key folder and everything in it; a sub-key reached through a symbolic
// link loses the link only, not what it points to. On failure errno holds the
// first reason.
bool RemoveFolder(const std::string &folder, bool withSubKeys) {
    std::vector<std::string> names;
    if (!ListForDeletion(folder, withSubKeys, names))
        return false;
    int code = 0;
    for (const std::string &name : names) {
        std::string path = folder + "/" + name;
        struct stat info {};
        bool removed =
            lstat(path.c_str(), &info) == 0 &&
            (S_ISDIR(info.st_mode) ? RemoveFolder(path, true) : unlink(path.c_str()) == 0);
        if (!removed && code == 0)
            code = errno;
    }
    if (code == 0 && rmdir(folder.c_str()) != 0)
        code = errno;
    errno = code;
    return code == 0;
}

bool DeleteKey(const std::string &path, bool withSubKeys) {
    if (KeyNames(path).empty())
        return Failed(false, EACCES); // never the configuration folder itself
    std::string folder = KeyFolder(path);
    if (folder.empty())
        return Failed(false);
    struct stat info {};
    bool ok = true;
    if (lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // A key that is a symbolic link to a folder elsewhere: only the link goes.
        std::vector<std::string> names;
        ok = (withSubKeys || ListForDeletion(folder, false, names)) && unlink(folder.c_str()) == 0;
    } else {
        ok = RemoveFolder(folder, withSubKeys);
    }
    return ok || Failed(false);
}

} // namespace

std::string EscapeName(const std::string &name) {
    std::string result;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c == '%')
            result += "%25";
        else if (c == '/')
            result += "%2F";
        else if (c == '.' && i == 0)
            result += "%2E";
        else
            result += c;
    }
    return result;
}

TRegValueState ReadStringValue(const std::string &content, std::string &value) {
    value.clear();
    size_t lineEnd = content.find('\n');
    std::string type = content.substr(0, lineEnd);
    std::string data = lineEnd == std::string::npos ? "" : content.substr(lineEnd + 1);
    if (data.empty())
        return rvEmpty;
    if (type != "REG_SZ" && type != "REG_EXPAND_SZ")
        return rvWrongType;
    value = data.substr(0, data.find('\0'));
    return rvString;
}

TRegHandle RegOpenRead(const std::string &path) {
    return OpenHandle(KeyFolder(path), R_OK | X_OK);
}

TRegHandle RegOpenWrite(const std::string &path) {
    return OpenHandle(KeyFolder(path), R_OK | W_OK | X_OK);
}

TRegHandle RegCreate(const std::string &path) {
    return OpenHandle(CreateKeyFolder(path), R_OK | W_OK | X_OK);
}

bool RegKeyExists(const std::string &path) {
    return !KeyFolder(path).empty() || Failed(false);
}

void RegClose(TRegHandle key) {
    delete reinterpret_cast<TKeyHandle *>(key);
}

TRegValueState RegQueryString(TRegHandle key, const std::string &name, std::string &value) {
    value.clear();
    if (!key)
        return Failed(rvEmpty, EBADF);
    std::string file = FindEntry(FolderOf(key), EscapeName(name) + ValueSuffix, false);
    if (file.empty())
        return Failed(rvEmpty);
    std::string content;
    if (!ReadWholeFile(file, content))
        return rvEmpty; // the reason is kept
    return ReadStringValue(content, value);
}

bool RegSetString(TRegHandle key, const std::string &name, const std::string &value) {
    return WriteValue(key, name, "REG_SZ", value);
}

bool RegSetDword(TRegHandle key, const std::string &name, uint32_t value) {
    return WriteValue(key, name, "REG_DWORD", std::to_string(value));
}

int RegSubKeyCount(TRegHandle key) {
    if (!key)
        return Failed(-1, EBADF);
    const std::string &folder = FolderOf(key);
    std::vector<std::string> names;
    if (!ListFolder(folder, names))
        return Failed(-1);
    return CountSubKeys(folder, names);
}

bool RegDeleteTree(const std::string &path) {
    return DeleteKey(path, true);
}

bool RegDeleteKey(const std::string &path) {
    return DeleteKey(path, false);
}

} // namespace posix
