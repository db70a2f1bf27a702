// Files, folders and listings of the Windows build: paths for the wide calls,
// folders as verbatim paths, directory searches, the stamps of items and the
// whole contents of a file.

#include "platform/windows/win32_calls.h"
#include "platform/windows/win32_paths.h"

#include <cwchar>

namespace win32 {

namespace {

// GetFullPathNameW for typed text, keeping the reason when it fails.
bool FullPath(const std::wstring &path, std::wstring &full) {
    return FullWidePath(path, full) || Failed(false);
}

} // namespace

// A path for a wide call: as given while its full form is short enough, else
// that full form with the "\\?\" prefix ("\\?\UNC\" for a share). The full
// form is made here because "\\?\" turns off the system's own clean-up
// ("/" to "\", "." and ".." steps), and a relative path may be short while
// the path it names is not. `added` tells whether the prefix was added.
bool WidePath(const std::string &path, std::wstring &wide, bool *added) {
    if (added)
        *added = false;
    if (!ToWide(path, wide))
        return false;
    if (HasWidePrefix(wide, L"\\\\?\\") || HasWidePrefix(wide, L"\\\\.\\"))
        return true;
    std::wstring full;
    // A path whose full form cannot be made is left to the call that uses it.
    if (!FullWidePath(wide, full) || full.size() < PlainPathLimit)
        return true;
    wide = VerbatimForm(full);
    if (added)
        *added = true;
    return true;
}

namespace {

// A path that a wide call gave back, without the prefix that WidePath added.
std::wstring WithoutAddedPrefix(const std::wstring &path, bool added) {
    return added ? PlainForm(path) : path;
}

} // namespace

// GetShortPathNameW without a size limit, for a path in the form WidePath gives.
bool ShortWidePath(const std::wstring &path, std::wstring &shortPath) {
    shortPath.assign(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetShortPathNameW(path.c_str(), shortPath.data(), DWORD(shortPath.size()));
        if (n == 0)
            return Failed(false);
        if (n < shortPath.size()) {
            shortPath.resize(n);
            return true;
        }
        shortPath.assign(n, L'\0');
    }
}

namespace {

// Why a listed name cannot be joined to its folder's path: ERROR_INVALID_NAME
// for a name that a Windows path cannot hold as it stands (a separator, a
// drive or stream mark, a wildcard, a quote, a redirection mark or a control
// character would make the path name another item, or none); 0 otherwise.
// Such names come from file systems of other systems, through shares or Wine.
DWORD NameRefusalOf(const std::wstring &name) {
    if (name.empty())
        return ERROR_INVALID_NAME;
    for (wchar_t c : name)
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c))
            return ERROR_INVALID_NAME;
    return 0;
}

void FillStamps(DWORD attributes, const FILETIME &creation, const FILETIME &access,
                const FILETIME &write, TFindData &entry) {
    entry.IsFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A junction or a symbolic link (Wine shows a Linux link to a folder as 0x410).
    entry.IsLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // A read-only file refuses to be opened for writing; the attribute on a
    // folder means nothing of the kind.
    entry.WriteRefusal =
        !entry.IsFolder && (attributes & FILE_ATTRIBUTE_READONLY) ? ERROR_ACCESS_DENIED : 0;
    entry.CreationTime = ToValue(creation);
    entry.LastAccessTime = ToValue(access);
    entry.LastWriteTime = ToValue(write);
}

void FillEntry(const WIN32_FIND_DATAW &data, TFindData &entry) {
    const std::wstring name = data.cFileName;
    entry.NameUnrepresentable = !FromWide(name, entry.Name);
    entry.NameRefusal = NameRefusalOf(name);
    entry.VolumeId = 0;
    entry.FileId = 0;
    FillStamps(data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime,
               data.ftLastWriteTime, entry);
}

TSearchHandle FindFirstWide(const std::wstring &pattern, TFindData &entry) {
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(pattern.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    FillEntry(data, entry);
    return reinterpret_cast<TSearchHandle>(handle);
}

} // namespace

TSearchHandle FindFirst(const std::string &pattern, TFindData &entry) {
    std::wstring wide;
    if (!WidePath(pattern, wide))
        return nullptr;
    return FindFirstWide(wide, entry);
}

bool FindNext(TSearchHandle search, TFindData &entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(search), &data))
        return Failed(false);
    FillEntry(data, entry);
    return true;
}

void FindCloseSearch(TSearchHandle search) {
    FindClose(reinterpret_cast<HANDLE>(search));
}

namespace {

// The entry of the item at a path for a wide call, without a directory
// search (which would take wildcards in the name as wildcards). With
// `followLink` a link or junction gives what it points to, or its own entry
// when that cannot be opened.
bool ReadWide(const std::wstring &path, bool followLink, TFindData &entry) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return Failed(false);
    FillStamps(data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime,
               data.ftLastWriteTime, entry);
    if (!followLink || !entry.IsLink)
        return true;
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info)) {
        FillStamps(info.dwFileAttributes, info.ftCreationTime, info.ftLastAccessTime,
                   info.ftLastWriteTime, entry);
        entry.VolumeId = info.dwVolumeSerialNumber;
        entry.FileId = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    CloseHandle(handle);
    return true;
}

// The nanoseconds below a stamp's tick are ignored: Windows keeps none.
bool SetWide(const std::wstring &path, bool isFolder, bool followLink, const TStampWrite *creation,
             const TStampWrite *lastAccess, const TStampWrite *lastWrite) {
    // Windows refuses write access to a read-only file, to administrators too;
    // Wine running as root would grant it. Asking first gives the same answer
    // everywhere, and the file stays as it was.
    TFindData entry;
    if (!isFolder && ReadWide(path, followLink, entry) && entry.WriteRefusal != 0)
        return Failed(false, ERROR_ACCESS_DENIED);
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                StampOpenFlags(isFolder, followLink), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    FILETIME c, a, w;
    if (creation)
        c = ToFileTime(creation->Value);
    if (lastAccess)
        a = ToFileTime(lastAccess->Value);
    if (lastWrite)
        w = ToFileTime(lastWrite->Value);
    BOOL ok = SetFileTime(handle, creation ? &c : nullptr, lastAccess ? &a : nullptr,
                          lastWrite ? &w : nullptr);
    DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(handle);
    return ok || Failed(false, code);
}

} // namespace

bool CanSetCreationTime() {
    return true;
}

bool FileSystemName(TFolderHandle, const std::string &where, std::string &name) {
    std::wstring root;
    if (!ToWide(where, root))
        return false;
    // The longest name the call gives, with its terminating zero.
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD scratch = 0;
    if (!GetVolumeInformationW(root.empty() ? nullptr : root.c_str(), nullptr, 0, nullptr, &scratch,
                               &scratch, buffer, MAX_PATH + 1))
        return Failed(false);
    return FromWide(buffer, wcslen(buffer), name);
}

namespace {

std::string FullPathName(const std::string &path) {
    std::wstring wide, full;
    std::string text;
    if (!ToWide(path, wide) || !FullPath(wide, full) || !FromWide(full, text))
        return std::string();
    return text;
}

} // namespace

} // namespace win32

// Win32 has no calls relative to an open folder: a folder is its absolute
// path in the verbatim ("\\?\") form, made once from the text that named it,
// and an item is that path and its name exactly as the listing gave it. The
// system parses neither again, so a name is never read as a path, and no
// tree is too deep.
struct TFolderState {
    std::wstring Path; // verbatim, ending in "\"
    // The folder was named in the verbatim form itself: names typed for it
    // are taken as they stand, as the system takes such a path.
    bool Verbatim = false;
};

namespace win32 {

namespace {

// The path of an item of an open folder for a wide call. A null folder takes
// the name as a path typed from the current folder. A name that the folder's
// path cannot hold as it stands is refused (ERROR_INVALID_NAME).
bool ItemPath(TFolderHandle folder, const std::string &name, std::wstring &wide) {
    if (!folder)
        return WidePath(name, wide);
    std::wstring own;
    if (!ToWide(name, own))
        return false;
    if (own == L"." || own == L".." || NameRefusalOf(own) != 0)
        return Failed(false, ERROR_INVALID_NAME);
    wide = folder->Path + own;
    return true;
}

constexpr DWORD StoppedOnLink = 681; // ERROR_STOPPED_ON_SYMLINK

// The folder at a verbatim path, when there is one; `viaLink`: also when it
// is a link or junction. The folder's path ends in "\".
TFolderHandle OpenAt(const std::wstring &path, bool verbatim, bool viaLink) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Failed(nullptr);
    if (!viaLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return Failed(nullptr, StoppedOnLink);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Failed(nullptr, ERROR_DIRECTORY);
    return new TFolderState{path.back() == L'\\' ? path : path + L'\\', verbatim};
}

} // namespace

// Typed text is parsed once, by the system's rules for typed paths ("/" as
// "\", "." and ".." steps, the current folder of a drive); a path typed in
// the verbatim form is taken as it stands.
TFolderHandle OpenFolder(const std::string &path) {
    std::wstring wide, full;
    if (!ToWide(path, wide))
        return nullptr;
    const bool verbatim = HasWidePrefix(wide, L"\\\\?\\");
    if (verbatim)
        full = wide;
    else if (!FullPath(wide.empty() ? L"." : wide, full))
        return nullptr;
    return OpenAt(VerbatimForm(full), verbatim, true);
}

// A sub-folder that is a link or junction is not opened: it may lead
// anywhere, the tree's own root included.
TFolderHandle OpenSubFolder(TFolderHandle parent, const std::string &name) {
    if (!parent)
        return OpenFolder(name);
    std::wstring path;
    if (!ItemPath(parent, name, path))
        return nullptr;
    return OpenAt(path, parent->Verbatim, false);
}

void CloseFolder(TFolderHandle folder) {
    delete folder;
}

// The volume serial number and file index of the folder itself (of a link or
// junction as such, not of what it points to). A serial number of 0 tells
// volumes apart from none (Wine gives it to every Linux file system of its own
// kind, such as proc, sysfs and tmpfs, whose folders share index numbers):
// the identity is then not known.
bool FolderIdentity(TFolderHandle folder, uint64_t &volumeId, uint64_t &fileId) {
    std::wstring current;
    if (!folder && !FullPath(L".", current))
        return false;
    HANDLE handle =
        CreateFileW(folder ? folder->Path.c_str() : current.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(handle, &info);
    const DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(handle);
    if (!ok)
        return Failed(false, code);
    if (info.dwVolumeSerialNumber == 0)
        return Failed(false, ERROR_NOT_SUPPORTED);
    volumeId = info.dwVolumeSerialNumber;
    fileId = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

namespace {

// A name typed for a folder, as the system reads the last part of a typed
// path: without its trailing dots and blanks ("." and ".." stay, and so does
// a pattern, whose wildcards the search matches).
std::wstring TypedName(const std::wstring &name) {
    if (name == L"." || name == L".." || name.find_first_of(L"*?") != std::wstring::npos)
        return name;
    const size_t end = name.find_last_not_of(L". ");
    return end == std::wstring::npos ? std::wstring() : name.substr(0, end + 1);
}

} // namespace

TSearchHandle FindFirstIn(TFolderHandle folder, const std::string &namePattern, bool,
                          TFindData &entry) {
    if (!folder)
        return FindFirst(namePattern, entry);
    std::wstring pattern;
    if (!ToWide(namePattern, pattern))
        return nullptr;
    if (!folder->Verbatim)
        pattern = TypedName(pattern);
    if (pattern.empty())
        return Failed(nullptr, ERROR_FILE_NOT_FOUND);
    if (pattern.find_first_of(L"\\/:") != std::wstring::npos)
        return Failed(nullptr, ERROR_INVALID_NAME);
    return FindFirstWide(folder->Path + pattern, entry);
}

bool ReadItem(TFolderHandle folder, const std::string &name, bool followLink, TFindData &entry) {
    std::wstring path;
    if (!ItemPath(folder, name, path))
        return false;
    entry = TFindData{};
    if (!ReadWide(path, followLink, entry))
        return false;
    if (folder)
        entry.Name = name;
    else
        FromWide(path.substr(path.find_last_of(L"\\/:") + 1), entry.Name);
    return true;
}

bool SetItemTimes(TFolderHandle folder, const std::string &name, bool isFolder, bool followLink,
                  const TStampWrite *creation, const TStampWrite *lastAccess,
                  const TStampWrite *lastWrite) {
    std::wstring path;
    if (!ItemPath(folder, name, path))
        return false;
    return SetWide(path, isFolder, followLink, creation, lastAccess, lastWrite);
}

// The plain form where the system's parsing of it gives it back unchanged
// (it then names the same item), else the verbatim form: a name ending in a
// dot or a blank, or one that the system takes for a device (such as
// "nul.txt"), is named as it stands.
std::string FullPathNameAt(TFolderHandle folder, const std::string &name) {
    if (!folder)
        return FullPathName(name);
    std::wstring path, parsed;
    if (!ItemPath(folder, name, path))
        return std::string();
    const std::wstring plain = PlainForm(path);
    std::string text;
    if (!FromWide(FullWidePath(plain, parsed) && parsed == plain ? plain : path, text))
        return std::string();
    return text;
}

bool ShortPathName(const std::string &path, std::string &shortPath) {
    std::wstring wide, result;
    bool added = false;
    if (!WidePath(path, wide, &added) || !ShortWidePath(wide, result))
        return false;
    return FromWide(WithoutAddedPrefix(result, added), shortPath);
}

bool ReadWholeFile(const std::string &path, std::string &data) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    DWORD code = ERROR_SUCCESS;
    DWORD high = 0;
    DWORD size = GetFileSize(handle, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        code = GetLastError();
    else if (high != 0 || size == INVALID_FILE_SIZE)
        code = ERROR_FILE_TOO_LARGE;
    else if (SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        code = GetLastError();
    else {
        data.assign(size, '\0');
        DWORD read = 0;
        if (size != 0 && !ReadFile(handle, data.data(), size, &read, nullptr))
            code = GetLastError();
        else if (read != size)
            code = ERROR_HANDLE_EOF;
    }
    CloseHandle(handle);
    return code == ERROR_SUCCESS || Failed(false, code);
}

} // namespace win32
