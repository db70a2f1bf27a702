// Files, folders and listings of the Windows build: paths for the wide calls,
// folders as verbatim paths, directory searches, the stamps of items and the
// whole contents of a file.

#include "platform/windows/win32_calls.h"
#include "platform/windows/win32_paths.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <mutex>

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

// A hash of a listed name, to find the names that a listing holds twice.
uint64_t NameHash(const wchar_t *name) {
    uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (; *name; ++name)
        hash = (hash ^ uint64_t(*name)) * 1099511628211ULL;
    return hash;
}

} // namespace

} // namespace win32

// A directory search: the system's handle, the name pattern that an entry's
// long name must match (the system also matches 8.3 short names), and the
// hashes of the names that the listing holds more than once, sorted.
struct TSearchState {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    std::wstring NamePattern;
    std::vector<uint64_t> Twins;
};

namespace win32 {

namespace {

// The next entry whose long name matches; false at the end (the reason kept).
bool NextListed(HANDLE handle, const std::wstring &namePattern, WIN32_FIND_DATAW &data) {
    do {
        if (!FindNextFileW(handle, &data))
            return Failed(false);
    } while (!MatchesLongName(namePattern, data.cFileName));
    return true;
}

// The search's first entry whose long name matches; INVALID_HANDLE_VALUE
// (ERROR_FILE_NOT_FOUND where only short names matched) when there is none.
HANDLE FirstListed(const std::wstring &pattern, const std::wstring &namePattern,
                   WIN32_FIND_DATAW &data) {
    HANDLE handle = FindFirstFileW(pattern.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(INVALID_HANDLE_VALUE);
    if (MatchesLongName(namePattern, data.cFileName) || NextListed(handle, namePattern, data))
        return handle;
    const DWORD code = KeptError;
    FindClose(handle);
    return Failed(INVALID_HANDLE_VALUE, code == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : code);
}

// The names that the listing holds more than once. Names are unique in a
// folder, yet the system may list two alike (Wine shows every byte that is no
// UTF-8 as U+FFFD): a lookup by such a name reaches one of them at most.
std::vector<uint64_t> TwinNames(const std::wstring &pattern, const std::wstring &namePattern) {
    std::vector<uint64_t> hashes, twins;
    WIN32_FIND_DATAW data;
    HANDLE handle = FirstListed(pattern, namePattern, data);
    if (handle == INVALID_HANDLE_VALUE)
        return twins;
    do
        hashes.push_back(NameHash(data.cFileName));
    while (NextListed(handle, namePattern, data));
    FindClose(handle);
    std::sort(hashes.begin(), hashes.end());
    for (size_t i = 1; i < hashes.size(); ++i)
        if (hashes[i] == hashes[i - 1] && (twins.empty() || twins.back() != hashes[i]))
            twins.push_back(hashes[i]);
    return twins;
}

void FillEntry(const TSearchState &search, const WIN32_FIND_DATAW &data, TFindData &entry) {
    const std::wstring name = data.cFileName;
    entry.NameUnrepresentable = !FromWide(name, entry.Name);
    entry.NameRefusal = NameRefusalOf(name);
    entry.NameListedTwice =
        !search.Twins.empty() &&
        std::binary_search(search.Twins.begin(), search.Twins.end(), NameHash(data.cFileName));
    entry.VolumeId = 0;
    entry.FileId = 0;
    FillStamps(data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime,
               data.ftLastWriteTime, entry);
}

// A search of a path whose last part is a name or a pattern.
TSearchHandle FindFirstWide(const std::wstring &pattern, TFindData &entry) {
    auto search = std::make_unique<TSearchState>();
    search->NamePattern = pattern.substr(pattern.find_last_of(L"\\/:") + 1);
    search->Twins = TwinNames(pattern, search->NamePattern);
    WIN32_FIND_DATAW data;
    search->Handle = FirstListed(pattern, search->NamePattern, data);
    if (search->Handle == INVALID_HANDLE_VALUE)
        return nullptr;
    FillEntry(*search, data, entry);
    return search.release();
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
    if (!NextListed(search->Handle, search->NamePattern, data))
        return false;
    FillEntry(*search, data, entry);
    return true;
}

void FindCloseSearch(TSearchHandle search) {
    FindClose(search->Handle);
    delete search;
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
    // The item itself, or what a link leads to, opened for its identity (and
    // the stamps of what the link leads to); where it cannot be opened, the
    // entry has no identity.
    const bool through = followLink && entry.IsLink;
    HANDLE handle = CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (through ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info)) {
        if (through)
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
    // The file-system name of the folder's volume, asked once (the items of
    // one folder are prepared on several threads).
    std::mutex VolumeLock;
    bool VolumeAsked = false;
    DWORD VolumeError = ERROR_SUCCESS;
    std::string FileSystem;
};

// Contents of files (-sm): a file open for reading.
struct TReadState {
    HANDLE Handle = INVALID_HANDLE_VALUE;
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
    auto *folder = new TFolderState;
    folder->Path = path.back() == L'\\' ? path : path + L'\\';
    folder->Verbatim = verbatim;
    return folder;
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
// A folder met on a recorded path that is a reparse point, or a path whose
// final form is another one.
constexpr DWORD ReparsePointOnPath = 4395; // ERROR_REPARSE_POINT_ENCOUNTERED

TFolderHandle OpenFolderNoFollow(const std::string &path) {
    std::wstring wide, full;
    if (!ToWide(path, wide) || !FullWidePath(wide, full))
        return nullptr;
    const std::wstring verbatim = VerbatimForm(full);
    // Each folder from the one below the root on: none is a reparse point.
    size_t start = HasWidePrefix(verbatim, L"\\\\?\\UNC\\") ? verbatim.find(L'\\', 8) : 6;
    if (start != std::wstring::npos && HasWidePrefix(verbatim, L"\\\\?\\UNC\\"))
        start = verbatim.find(L'\\', start + 1);
    while (start != std::wstring::npos && start + 1 < verbatim.size()) {
        const size_t end = verbatim.find(L'\\', start + 1);
        const DWORD attributes = GetFileAttributesW(verbatim.substr(0, end).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Failed(nullptr);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return Failed(nullptr, ReparsePointOnPath);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Failed(nullptr, ERROR_DIRECTORY);
        start = end;
    }
    // The folder reached is the one named: its final path is the same.
    HANDLE handle =
        CreateFileW(verbatim.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    std::wstring final(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(handle, final.data(), DWORD(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD code = GetLastError();
    CloseHandle(handle);
    if (n == 0 || n >= final.size())
        return Failed(nullptr, n == 0 ? code : ERROR_FILENAME_EXCED_RANGE);
    final.resize(n);
    std::wstring named = verbatim;
    while (named.size() > 7 && named.back() == L'\\')
        named.pop_back();
    while (final.size() > 7 && final.back() == L'\\')
        final.pop_back();
    if (CompareStringOrdinal(VerbatimForm(final).c_str(), -1, named.c_str(), -1, TRUE) !=
        CSTR_EQUAL)
        return Failed(nullptr, ReparsePointOnPath);
    auto *folder = new TFolderState;
    folder->Path = named + L'\\';
    folder->Verbatim = true;
    return folder;
}

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

// The file-system name of the volume at a root ("C:\"; empty: the current
// folder's).
bool RootFileSystem(const std::string &where, std::string &name) {
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

// The file-system name of the volume that holds a folder, asked through the
// folder's handle: a volume mounted in a folder answers for itself, and no
// device is read. False where the system lacks the call (before Vista).
bool HandleFileSystem(const std::wstring &folder, std::string &name) {
    using TCall = BOOL(WINAPI *)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD);
    static const TCall call = reinterpret_cast<TCall>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetVolumeInformationByHandleW")));
    if (!call)
        return Failed(false, ERROR_CALL_NOT_IMPLEMENTED);
    HANDLE handle = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(false);
    wchar_t buffer[MAX_PATH + 1] = {};
    const BOOL ok = call(handle, nullptr, 0, nullptr, nullptr, nullptr, buffer, MAX_PATH + 1);
    const DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(handle);
    if (!ok)
        return Failed(false, code);
    return FromWide(buffer, wcslen(buffer), name);
}

} // namespace

// A folder's volume is asked once, through its handle where the system can,
// else at the root given; the answer (or the failure) is kept.
bool FileSystemName(TFolderHandle folder, const std::string &where, std::string &name) {
    if (!folder)
        return RootFileSystem(where, name);
    std::lock_guard<std::mutex> hold(folder->VolumeLock);
    if (!folder->VolumeAsked) {
        folder->VolumeAsked = true;
        if (!HandleFileSystem(folder->Path, folder->FileSystem) &&
            !RootFileSystem(where, folder->FileSystem))
            folder->VolumeError = KeptError;
    }
    if (folder->VolumeError != ERROR_SUCCESS)
        return Failed(false, folder->VolumeError);
    name = folder->FileSystem;
    return true;
}

// Whether the system reads typed text as a device name: its full path is then
// "\\.\" and the device (GetFullPathNameW gives "\\.\NUL" for "d\nul.txt").
// A name in an open folder is taken as it stands and names no device.
bool IsDevice(TFolderHandle folder, const std::string &name) {
    std::wstring wide, full;
    if (folder || !ToWide(name, wide) || wide.empty() || !FullWidePath(wide, full))
        return false;
    return HasWidePrefix(full, L"\\\\.\\") && full.find_first_of(L"\\/", 4) == std::wstring::npos;
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

// Opened for reading only and shared every way, so that a file another
// program holds open is read too. Below the operand a link or junction is
// opened as itself, and refused with anything else that is no regular file.
TReadHandle OpenForReading(TFolderHandle folder, const std::string &name, bool followLink,
                           uint64_t &size) {
    std::wstring path;
    if (!ItemPath(folder, name, path))
        return nullptr;
    HANDLE handle = CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER length;
    DWORD code = ERROR_SUCCESS;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        code = ERROR_INVALID_FUNCTION;
    else if (!GetFileInformationByHandle(handle, &info) || !GetFileSizeEx(handle, &length))
        code = GetLastError();
    else if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        code = ERROR_INVALID_FUNCTION;
    if (code != ERROR_SUCCESS) {
        CloseHandle(handle);
        return Failed(nullptr, code);
    }
    size = uint64_t(length.QuadPart);
    return new TReadState{handle};
}

bool ReadAt(TReadHandle file, uint64_t offset, void *buffer, size_t size, size_t &read) {
    read = 0;
    auto *bytes = static_cast<char *>(buffer);
    while (read < size) {
        const uint64_t where = offset + read;
        OVERLAPPED at{};
        at.Offset = DWORD(where);
        at.OffsetHigh = DWORD(where >> 32);
        DWORD got = 0;
        const DWORD want = DWORD(std::min<size_t>(size - read, size_t(1) << 30));
        if (!ReadFile(file->Handle, bytes + read, want, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return Failed(false);
        }
        if (got == 0)
            break;
        read += got;
    }
    return true;
}

void CloseReading(TReadHandle file) {
    CloseHandle(file->Handle);
    delete file;
}

} // namespace win32
