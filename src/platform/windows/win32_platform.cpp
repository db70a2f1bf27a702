// The platform table of the Windows build: Win32 calls with the access
// rights and flags the program depends on. The rest of the program keeps its
// text in UTF-8; every call that takes or gives text is a wide one, converted
// here, so that every name the file system holds is reached exactly, long
// paths work and no name becomes a look-alike. Only the streams (to a file or
// a pipe) and response files without a byte order mark are in the ANSI code
// page.

#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/windows/win32_paths.h"

#include <windows.h>
// The names of two slots, not the macros for the A and W calls.
#undef RegDeleteTree
#undef RegDeleteKey

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>

namespace {

// The reason of the last failing call of the table: a Win32 error code.
thread_local DWORD KeptError = 0;

// Keeps `code` as the reason of a failing call and gives back `result`. A
// caller that cleans up after a failure passes the code it saved before.
template <class T> T Failed(T result, DWORD code = GetLastError()) {
    KeptError = code;
    return result;
}

// Text in a code page (CP_UTF8 for the program's own) as UTF-16, up to a
// NUL as the system's strings end there. False (with
// ERROR_NO_UNICODE_TRANSLATION kept) for bytes that are no text of it.
bool ToWideFrom(UINT codePage, const std::string &text, std::wstring &wide) {
    const int size = int(std::min(text.size(), text.find('\0')));
    wide.clear();
    if (size == 0)
        return true;
    const int n =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0)
        return Failed(false);
    wide.resize(size_t(n));
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n) != n)
        return Failed(false);
    return true;
}

// The program's text as UTF-16.
bool ToWide(const std::string &text, std::wstring &wide) {
    return ToWideFrom(CP_UTF8, text, wide);
}

// The program's text as UTF-16 for display: a byte that is no UTF-8 shows as U+FFFD.
std::wstring ShownWide(const char *text, size_t size) {
    std::wstring wide;
    const int n = size ? MultiByteToWideChar(CP_UTF8, 0, text, int(size), nullptr, 0) : 0;
    if (n > 0) {
        wide.resize(size_t(n));
        MultiByteToWideChar(CP_UTF8, 0, text, int(size), wide.data(), n);
    }
    return wide;
}

// The code point of the UTF-16 character at `i` and its number of units; an
// unpaired surrogate is one unit and no character (`paired` false).
uint32_t CodePointAt(const wchar_t *wide, size_t length, size_t i, size_t &units, bool &paired) {
    const wchar_t c = wide[i];
    units = 1;
    if (IS_HIGH_SURROGATE(c) && i + 1 < length && IS_LOW_SURROGATE(wide[i + 1])) {
        units = 2;
        paired = true;
        return 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(wide[i + 1]) - 0xDC00);
    }
    paired = !IS_HIGH_SURROGATE(c) && !IS_LOW_SURROGATE(c);
    return c;
}

// UTF-16 text as the program's text: false (with ERROR_NO_UNICODE_TRANSLATION
// kept) when it holds an unpaired surrogate, which UTF-8 cannot hold; `text`
// then shows each as U+FFFD. `standIn`, when given, gets one flag per byte of
// `text`: true for the bytes of such a U+FFFD.
bool FromWide(const wchar_t *wide, size_t length, std::string &text,
              std::vector<bool> *standIn = nullptr) {
    text.clear();
    if (standIn)
        standIn->clear();
    bool exact = true;
    for (size_t i = 0, units = 0; i < length; i += units) {
        bool paired = true;
        const uint32_t c = CodePointAt(wide, length, i, units, paired);
        AppendUtf8(text, paired ? c : 0xFFFD);
        exact = exact && paired;
        if (standIn)
            standIn->resize(text.size(), !paired);
    }
    return exact || Failed(false, ERROR_NO_UNICODE_TRANSLATION);
}

bool FromWide(const std::wstring &wide, std::string &text) {
    return FromWide(wide.data(), wide.size(), text);
}

// GetFullPathNameW for typed text, keeping the reason when it fails.
bool FullPath(const std::wstring &path, std::wstring &full) {
    return FullWidePath(path, full) || Failed(false);
}

// A path for a wide call: as given while its full form is short enough, else
// that full form with the "\\?\" prefix ("\\?\UNC\" for a share). The full
// form is made here because "\\?\" turns off the system's own clean-up
// ("/" to "\", "." and ".." steps), and a relative path may be short while
// the path it names is not. `added` tells whether the prefix was added.
bool WidePath(const std::string &path, std::wstring &wide, bool *added = nullptr) {
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

// A path that a wide call gave back, without the prefix that WidePath added.
std::wstring WithoutAddedPrefix(const std::wstring &path, bool added) {
    return added ? PlainForm(path) : path;
}

bool IsNTFamily() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return true;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

uint64_t ToValue(const FILETIME &ft) {
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = DWORD(value);
    ft.dwHighDateTime = DWORD(value >> 32);
    return ft;
}

uint64_t SystemTimeNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ToValue(ft);
}

// Converts between UTC and local time with the given Win32 call.
bool ConvertTime(BOOL(WINAPI *convert)(const FILETIME *, LPFILETIME), uint64_t value,
                 uint64_t &result) {
    FILETIME in = ToFileTime(value), out;
    if (!convert(&in, &out))
        return Failed(false);
    result = ToValue(out);
    return true;
}

bool UtcToLocal(uint64_t utc, uint64_t &local) {
    return ConvertTime(FileTimeToLocalFileTime, utc, local);
}

bool LocalToUtc(uint64_t local, uint64_t &utc) {
    return ConvertTime(LocalFileTimeToFileTime, local, utc);
}

std::wstring WideModuleFileName() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

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

// The program's path; where it holds an unpaired surrogate, its short form if
// that one has none, else the text with U+FFFD.
std::string ModuleFileName() {
    const std::wstring path = WideModuleFileName();
    std::string text;
    if (FromWide(path, text))
        return text;
    std::wstring shortPath;
    std::string shortText;
    if (ShortWidePath(path, shortPath) && FromWide(shortPath, shortText))
        return shortText;
    return text;
}

uint32_t ProgramBuild() {
    const std::wstring path = WideModuleFileName();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return 0;
    std::unique_ptr<char[]> data(new char[size]);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.get()))
        return 0;
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.get(), "\\", reinterpret_cast<void **>(&fixed), &length) || !fixed)
        return 0;
    return fixed->dwProductVersionLS & 0xFFFF;
}

// The command line from its UTF-16 form: every character as typed, an
// unpaired surrogate flagged where its U+FFFD stands.
bool CommandLineText(std::string &text, std::vector<bool> &standIn) {
    const wchar_t *line = GetCommandLineW();
    FromWide(line ? line : L"", line ? wcslen(line) : 0, text, &standIn);
    return true;
}

std::vector<std::string> Arguments() {
    return {};
}

// The wide value, without the look-alikes of the ANSI call.
bool GetEnv(const std::string &name, std::string &value, bool &exact) {
    value.clear();
    exact = true;
    std::wstring wideName;
    if (!ToWide(name, wideName))
        return false;
    std::wstring buffer(1024, L'\0');
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0) {
        DWORD code = GetLastError();
        return code != ERROR_ENVVAR_NOT_FOUND || Failed(false, code);
    }
    if (n >= buffer.size()) {
        buffer.assign(n, L'\0');
        n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), DWORD(buffer.size()));
        if (n >= buffer.size())
            n = 0;
    }
    exact = FromWide(buffer.data(), n, value);
    return true;
}

// Handles are limited by memory only.
uint64_t OpenFileLimit() {
    return UINT64_MAX;
}

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? unsigned(info.dwNumberOfProcessors) : 1;
}

std::string LowerCase(const std::string &text) {
    std::wstring wide;
    std::string result;
    if (!ToWide(text, wide))
        return text;
    if (!wide.empty())
        CharLowerBuffW(wide.data(), DWORD(wide.size()));
    FromWide(wide, result);
    return result;
}

bool SameName(const std::string &a, const std::string &b) {
    std::wstring wideA, wideB;
    if (!ToWide(a, wideA) || !ToWide(b, wideB))
        return a == b;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wideA.data(), int(wideA.size()),
                          wideB.data(), int(wideB.size())) == CSTR_EQUAL;
}

// UTF-16 text in a code page, without best-fit look-alikes: each character the
// code page lacks becomes "?" and its code point goes to `lacked`.
std::string InCodePage(UINT codePage, const std::wstring &wide, std::vector<uint32_t> *lacked) {
    const auto convert = [&](const wchar_t *units, size_t length, std::string &bytes) {
        BOOL usedDefault = FALSE;
        bytes.clear();
        const int n = length ? WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units,
                                                   int(length), nullptr, 0, "?", &usedDefault)
                             : 0;
        if (n <= 0)
            return length == 0;
        bytes.resize(size_t(n));
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, int(length), bytes.data(), n,
                            "?", &usedDefault);
        return !usedDefault;
    };
    std::string text;
    if (convert(wide.data(), wide.size(), text))
        return text;
    // Character by character: each that the code page lacks is one "?".
    text.clear();
    std::string bytes;
    for (size_t i = 0, units = 0; i < wide.size(); i += units) {
        bool paired = true;
        const uint32_t c = CodePointAt(wide.data(), wide.size(), i, units, paired);
        if (paired && convert(wide.data() + i, units, bytes)) {
            text += bytes;
            continue;
        }
        text += '?';
        if (lacked)
            lacked->push_back(c);
    }
    return text;
}

std::string ToOemText(const std::string &text) {
    return InCodePage(CP_OEMCP, ShownWide(text.data(), text.size()), nullptr);
}

std::string ToCodePage(const std::string &text, std::vector<uint32_t> *lacked) {
    return InCodePage(CP_ACP, ShownWide(text.data(), text.size()), lacked);
}

// A text cut inside its last double-byte character (a lead byte at its end)
// reads with U+FFFD in place of that byte.
bool FromCodePage(const std::string &bytes, std::string &text) {
    size_t whole = 0;
    while (whole < bytes.size()) {
        const size_t n = IsDBCSLeadByte(static_cast<unsigned char>(bytes[whole])) ? 2 : 1;
        if (whole + n > bytes.size())
            break;
        whole += n;
    }
    std::wstring wide;
    if (!ToWideFrom(CP_ACP, bytes.substr(0, whole), wide))
        return false;
    if (whole < bytes.size())
        wide += L'\xFFFD';
    return FromWide(wide, text);
}

// The stream's handle; nullptr (the reason kept) without one.
HANDLE StreamHandle(TStream stream) {
    HANDLE handle = GetStdHandle(stream == stdOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    if (handle == nullptr)
        return Failed(nullptr, ERROR_INVALID_HANDLE);
    return handle;
}

bool WriteBytes(HANDLE handle, const char *data, size_t size) {
    uint64_t done = 0;
    while (size > 0) {
        DWORD written = 0;
        DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        DWORD code = ERROR_SUCCESS;
        if (!WriteFile(handle, data, chunk, &written, nullptr))
            code = GetLastError();
        else if (written == 0)
            code = ERROR_WRITE_FAULT;
        if (code != ERROR_SUCCESS) {
            // A file on disk ends where the failed write began.
            LARGE_INTEGER back;
            back.QuadPart = -LONGLONG(done + written);
            if (done + written > 0 && GetFileType(handle) == FILE_TYPE_DISK &&
                SetFilePointerEx(handle, back, nullptr, FILE_CURRENT))
                SetEndOfFile(handle);
            return Failed(false, code);
        }
        data += written;
        size -= written;
        done += written;
    }
    return true;
}

bool WriteStream(TStream stream, const char *data, size_t size) {
    HANDLE handle = StreamHandle(stream);
    return handle && WriteBytes(handle, data, size);
}

// A console, not a file, a pipe or another character device such as NUL:
// only a console has a console mode.
bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    if (GetFileType(handle) != FILE_TYPE_CHAR)
        return Failed(false, ERROR_NOT_SUPPORTED);
    return GetConsoleMode(handle, &mode) || Failed(false);
}

bool IsTerminal(TStream stream) {
    HANDLE handle = StreamHandle(stream);
    return handle && IsConsole(handle);
}

// A console shows every character as it is; a file or a pipe gets the code
// page's bytes, or UTF-8.
bool WriteText(TStream stream, const char *text, size_t size, bool utf8) {
    HANDLE handle = StreamHandle(stream);
    if (!handle)
        return false;
    if (IsConsole(handle)) {
        const std::wstring wide = ShownWide(text, size);
        for (size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            DWORD chunk = DWORD(std::min<size_t>(wide.size() - done, 0x4000));
            if (done + chunk < wide.size() && IS_HIGH_SURROGATE(wide[done + chunk - 1]))
                --chunk; // a pair goes whole
            if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr))
                return Failed(false);
            if (written == 0)
                return Failed(false, ERROR_WRITE_FAULT);
            done += written;
        }
        return true;
    }
    if (utf8)
        return WriteBytes(handle, text, size);
    const std::string bytes = ToCodePage(std::string(text, size), nullptr);
    return WriteBytes(handle, bytes.data(), bytes.size());
}

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

std::string FullPathName(const std::string &path) {
    std::wstring wide, full;
    std::string text;
    if (!ToWide(path, wide) || !FullPath(wide, full) || !FromWide(full, text))
        return std::string();
    return text;
}

} // namespace

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

// A name typed for a folder, as the system reads the last part of a typed
// path: without its trailing dots and blanks ("." and ".." stay, and so does
// a pattern, whose wildcards the search matches).
std::wstring TypedName(const std::wstring &name) {
    if (name == L"." || name == L".." || name.find_first_of(L"*?") != std::wstring::npos)
        return name;
    const size_t end = name.find_last_not_of(L". ");
    return end == std::wstring::npos ? std::wstring() : name.substr(0, end + 1);
}

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

} // namespace

// Contents of files (-sm): a file open for reading.
struct TReadState {
    HANDLE Handle = INVALID_HANDLE_VALUE;
};

namespace {

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

// The zone's rules for that date: the offset of summer time where it was in
// force then. SYSTEMTIME holds milliseconds: the ticks below them are kept.
bool LocalDateToUtc(uint64_t local, uint64_t &utc) {
    const uint64_t below = local % 10000;
    const FILETIME in = ToFileTime(local - below);
    SYSTEMTIME localParts, utcParts;
    FILETIME out;
    if (!FileTimeToSystemTime(&in, &localParts) ||
        !TzSpecificLocalTimeToSystemTime(nullptr, &localParts, &utcParts) ||
        !SystemTimeToFileTime(&utcParts, &out))
        return Failed(false);
    utc = ToValue(out) + below;
    return true;
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

bool RunHiddenAndWait(const std::string &commandLine, uint32_t &exitCode) {
    exitCode = 0;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    std::wstring line; // CreateProcessW may write into it
    if (!ToWide(commandLine, line))
        return false;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return Failed(false);
    while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        Sleep(1);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code))
        code = GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    exitCode = code;
    if (code != 0)
        Failed(false, code);
    return true;
}

// The program's own files, named as every other file is; the folder under
// the user's local application data inherits its protection, which lets no
// other user in.

bool StateFolder(std::string &path) {
    std::string base;
    bool exact = true;
    if (!GetEnv("LOCALAPPDATA", base, exact))
        return false;
    if (base.empty())
        return Failed(false, ERROR_ENVVAR_NOT_FOUND);
    if (!exact)
        return Failed(false, ERROR_NO_UNICODE_TRANSLATION);
    if (base.back() != '\\' && base.back() != '/')
        base += '\\';
    path = base + "Varnhold\\Kelvard";
    return true;
}

bool IsFolderW(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakePrivateFolder(const std::string &path) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    if (IsFolderW(wide))
        return true;
    // Every folder from the first one below the root (or the share) on.
    size_t start = 0;
    if (HasWidePrefix(wide, L"\\\\?\\UNC\\") || HasWidePrefix(wide, L"\\\\")) {
        const size_t server =
            wide.find_first_of(L"\\/", HasWidePrefix(wide, L"\\\\?\\UNC\\") ? 8 : 2);
        start = server == std::wstring::npos ? wide.size() : wide.find_first_of(L"\\/", server + 1);
    } else if (HasWidePrefix(wide, L"\\\\?\\")) {
        start = wide.find_first_of(L"\\/", 4);
    } else if (wide.size() >= 2 && wide[1] == L':') {
        start = wide.find_first_of(L"\\/");
    }
    while (start != std::wstring::npos && start < wide.size()) {
        const size_t end = wide.find_first_of(L"\\/", start + 1);
        const std::wstring folder = wide.substr(0, end);
        const bool named = !folder.empty() && folder.back() != L'\\' && folder.back() != L'/';
        if (named && !IsFolderW(folder) && !CreateDirectoryW(folder.c_str(), nullptr)) {
            const DWORD code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS || !IsFolderW(folder))
                return Failed(false, code);
        }
        start = end;
    }
    return IsFolderW(wide) || Failed(false, ERROR_PATH_NOT_FOUND);
}

} // namespace

struct TFileState {
    HANDLE Handle;
};

namespace {

TFileHandle OpenAppend(const std::string &path, bool create) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return nullptr;
    HANDLE handle =
        CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                    create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(nullptr);
    return new TFileState{handle};
}

bool AppendFile(TFileHandle file, const char *data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        if (!WriteFile(file->Handle, data, chunk, &written, nullptr))
            return Failed(false);
        if (written == 0)
            return Failed(false, ERROR_WRITE_FAULT);
        data += written;
        size -= written;
    }
    return true;
}

void CloseFile(TFileHandle file) {
    CloseHandle(file->Handle);
    delete file;
}

bool ListFiles(const std::string &folder, std::vector<TFileListing> &files) {
    files.clear();
    std::wstring wide;
    if (!WidePath(folder, wide))
        return false;
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/')
        wide += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((wide + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND || Failed(false);
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::string name;
        if (FromWide(data.cFileName, wcslen(data.cFileName), name))
            files.push_back(
                TFileListing{name, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    } while (FindNextFileW(search, &data));
    const DWORD code = GetLastError();
    FindClose(search);
    return code == ERROR_NO_MORE_FILES || Failed(false, code);
}

bool RemoveFile(const std::string &path) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    return DeleteFileW(wide.c_str()) || Failed(false);
}

// Set by the first Ctrl+C (or Ctrl+Break) once they are caught; the handler
// runs on a thread of its own.
std::atomic<bool> Interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    // A second interrupt ends the process, as it would without the handler.
    return Interrupted.exchange(true) ? FALSE : TRUE;
}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() {
    return Interrupted.load();
}

// A key path under the current user, without its leading "\\", as UTF-16.
std::wstring KeyPath(const std::string &path) {
    std::wstring wide;
    ToWide(!path.empty() && path[0] == '\\' ? path.substr(1) : path, wide);
    return wide;
}

std::wstring WideName(const std::string &name) {
    std::wstring wide;
    ToWide(name, wide);
    return wide;
}

// The registry calls return their error code instead of setting it.
bool Succeeded(LONG result) {
    return result == ERROR_SUCCESS || Failed(false, DWORD(result));
}

HKEY KeyOf(TRegHandle key) {
    return reinterpret_cast<HKEY>(key);
}

HKEY OpenWideKey(const std::wstring &path, REGSAM access) {
    HKEY key = nullptr;
    if (!Succeeded(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key)))
        return nullptr;
    return key;
}

HKEY OpenKey(const std::string &path, REGSAM access) {
    return OpenWideKey(KeyPath(path), access);
}

TRegHandle RegOpenRead(const std::string &path) {
    for (REGSAM access : {REGSAM(KEY_READ), REGSAM(0x20009), REGSAM(KEY_QUERY_VALUE)})
        if (HKEY key = OpenKey(path, access))
            return reinterpret_cast<TRegHandle>(key);
    return nullptr;
}

TRegHandle RegOpenWrite(const std::string &path) {
    return reinterpret_cast<TRegHandle>(OpenKey(path, KEY_ALL_ACCESS));
}

TRegHandle RegCreate(const std::string &path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (!Succeeded(RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(path).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                   &disposition)))
        return nullptr;
    return reinterpret_cast<TRegHandle>(key);
}

bool RegKeyExists(const std::string &path) {
    HKEY key = OpenKey(path, 0x20009);
    if (!key)
        return false;
    RegCloseKey(key);
    return true;
}

void RegClose(TRegHandle key) {
    RegCloseKey(KeyOf(key));
}

// The wide value, without the look-alikes of the ANSI call.
TRegValueState RegQueryString(TRegHandle key, const std::string &name, std::string &value) {
    value.clear();
    const std::wstring wideName = WideName(name);
    DWORD type = 0, size = 0;
    if (!Succeeded(
            RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, &type, nullptr, &size)) ||
        size == 0)
        return rvEmpty;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return rvWrongType;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (!Succeeded(RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE *>(data.data()), &size)))
        return rvEmpty;
    data.resize(std::min<size_t>(size / sizeof(wchar_t), data.find(L'\0')));
    return FromWide(data, value) ? rvString : rvInexact;
}

bool RegSetString(TRegHandle key, const std::string &name, const std::string &value) {
    std::wstring data;
    if (!ToWide(value, data))
        return false;
    return Succeeded(RegSetValueExW(KeyOf(key), WideName(name).c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE *>(data.c_str()),
                                    DWORD((data.size() + 1) * sizeof(wchar_t))));
}

bool RegSetDword(TRegHandle key, const std::string &name, uint32_t value) {
    DWORD data = value;
    return Succeeded(RegSetValueExW(KeyOf(key), WideName(name).c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE *>(&data), sizeof data));
}

int RegSubKeyCount(TRegHandle key) {
    DWORD count = 0;
    if (!Succeeded(RegQueryInfoKeyW(KeyOf(key), nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr)))
        return -1;
    return int(count);
}

bool DeleteWideTree(const std::wstring &relative) {
    if (HKEY key = OpenWideKey(relative, KEY_ALL_ACCESS)) {
        DWORD count = 0, longest = 0;
        std::vector<std::wstring> names;
        if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            std::wstring buffer(longest + 1, L'\0');
            for (DWORD i = 0; i < count; ++i) {
                DWORD length = DWORD(buffer.size());
                if (RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS)
                    names.emplace_back(buffer.data(), length);
            }
        }
        RegCloseKey(key);
        for (const std::wstring &name : names)
            DeleteWideTree(relative + L"\\" + name);
    }
    return Succeeded(RegDeleteKeyW(HKEY_CURRENT_USER, relative.c_str()));
}

bool RegDeleteTree(const std::string &path) {
    return DeleteWideTree(KeyPath(path));
}

bool RegDeleteKey(const std::string &path) {
    return Succeeded(RegDeleteKeyW(HKEY_CURRENT_USER, KeyPath(path).c_str()));
}

uint32_t LastErrorCode() {
    return KeptError;
}

// The system's message for a code in the system's default language (the
// user's where the system has none).
std::string ErrorText(uint32_t code) {
    wchar_t *buffer = nullptr;
    DWORD n = 0;
    for (DWORD language : {DWORD(MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)), DWORD(0)}) {
        n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, language, reinterpret_cast<wchar_t *>(&buffer), 0,
                           nullptr);
        if (n != 0)
            break;
    }
    std::string text;
    if (n != 0 && buffer)
        FromWide(buffer, n, text);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

const TPlatform Win32Platform = {
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
    .LowerCase = LowerCase,
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
    .FindClose = FindCloseSearch,
    .OpenFolder = OpenFolder,
    .OpenSubFolder = OpenSubFolder,
    .CloseFolder = CloseFolder,
    .FolderIdentity = FolderIdentity,
    .ReadItem = ReadItem,
    .SetItemTimes = SetItemTimes,
    .CanSetCreationTime = CanSetCreationTime,
    .FullPathName = FullPathNameAt,
    .FileSystemName = FileSystemName,
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

const TPlatform &NativePlatform() {
    return Win32Platform;
}

void SetProgramArguments(int, char **) {}
