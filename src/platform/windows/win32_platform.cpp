// The platform table of the Windows build: Win32 calls with the access
// rights and flags the program depends on. The rest of the program keeps its
// text in UTF-8; every call that takes or gives text is a wide one, converted
// (win32_text.cpp), so that every name the file system holds is reached
// exactly, long paths work and no name becomes a look-alike. Only the streams
// (to a file or a pipe) and response files without a byte order mark are in
// the ANSI code page. This file holds the table, the clock and the system's
// reasons; the calls are in win32_files.cpp, win32_text.cpp,
// win32_process.cpp, win32_registry.cpp and win32_state.cpp.

#include "platform/windows/win32_calls.h"

namespace win32 {

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

namespace {

// Converts between UTC and local time with the given Win32 call.
bool ConvertTime(BOOL(WINAPI *convert)(const FILETIME *, LPFILETIME), uint64_t value,
                 uint64_t &result) {
    FILETIME in = ToFileTime(value), out;
    if (!convert(&in, &out))
        return Failed(false);
    result = ToValue(out);
    return true;
}

} // namespace

bool UtcToLocal(uint64_t utc, uint64_t &local) {
    return ConvertTime(FileTimeToLocalFileTime, utc, local);
}

bool LocalToUtc(uint64_t local, uint64_t &utc) {
    return ConvertTime(LocalFileTimeToFileTime, local, utc);
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

} // namespace win32

namespace {

const TPlatform Win32Platform = {
    .IsNTFamily = win32::IsNTFamily,
    .SystemTimeNow = win32::SystemTimeNow,
    .UtcToLocal = win32::UtcToLocal,
    .LocalToUtc = win32::LocalToUtc,
    .ModuleFileName = win32::ModuleFileName,
    .ProgramBuild = win32::ProgramBuild,
    .CommandLineText = win32::CommandLineText,
    .Arguments = win32::Arguments,
    .GetEnv = win32::GetEnv,
    .OpenFileLimit = win32::OpenFileLimit,
    .ProcessorCount = win32::ProcessorCount,
    .LowerCase = win32::LowerCase,
    .SameName = win32::SameName,
    .ToOemText = win32::ToOemText,
    .ToCodePage = win32::ToCodePage,
    .FromCodePage = win32::FromCodePage,
    .WriteStream = win32::WriteStream,
    .IsTerminal = win32::IsTerminal,
    .WriteText = win32::WriteText,
    .FindFirst = win32::FindFirst,
    .FindFirstIn = win32::FindFirstIn,
    .FindNext = win32::FindNext,
    .FindClose = win32::FindCloseSearch,
    .OpenFolder = win32::OpenFolder,
    .OpenSubFolder = win32::OpenSubFolder,
    .CloseFolder = win32::CloseFolder,
    .FolderIdentity = win32::FolderIdentity,
    .ReadItem = win32::ReadItem,
    .SetItemTimes = win32::SetItemTimes,
    .CanSetCreationTime = win32::CanSetCreationTime,
    .FullPathName = win32::FullPathNameAt,
    .IsDevice = win32::IsDevice,
    .FileSystemName = win32::FileSystemName,
    .FatVolumeOffset = nullptr, // FAT keeps the system's local time
    .ShortPathName = win32::ShortPathName,
    .ReadWholeFile = win32::ReadWholeFile,
    .OpenForReading = win32::OpenForReading,
    .ReadAt = win32::ReadAt,
    .CloseReading = win32::CloseReading,
    .LocalDateToUtc = win32::LocalDateToUtc,
    .RunHiddenAndWait = win32::RunHiddenAndWait,
    .StateFolder = win32::StateFolder,
    .MakePrivateFolder = win32::MakePrivateFolder,
    .OpenAppend = win32::OpenAppend,
    .AppendFile = win32::AppendFile,
    .CloseFile = win32::CloseFile,
    .ListFiles = win32::ListFiles,
    .RemoveFile = win32::RemoveFile,
    .OwnershipOf = win32::OwnershipOf,
    .OpenOwnFile = win32::OpenOwnFile,
    .ReadOwnFile = win32::ReadOwnFile,
    .TruncateFile = win32::TruncateFile,
    .LockFile = win32::LockFile,
    .OpenFolderNoFollow = win32::OpenFolderNoFollow,
    .CatchInterrupts = win32::CatchInterrupts,
    .InterruptRequested = win32::InterruptRequested,
    .RegOpenRead = win32::RegOpenRead,
    .RegOpenWrite = win32::RegOpenWrite,
    .RegCreate = win32::RegCreate,
    .RegKeyExists = win32::RegKeyExists,
    .RegClose = win32::RegClose,
    .RegQueryString = win32::RegQueryString,
    .RegSetString = win32::RegSetString,
    .RegSetDword = win32::RegSetDword,
    .RegSubKeyCount = win32::RegSubKeyCount,
    .RegDeleteTree = win32::RegDeleteTree,
    .RegDeleteKey = win32::RegDeleteKey,
    .LastErrorCode = win32::LastErrorCode,
    .ErrorText = win32::ErrorText,
};

} // namespace

const TPlatform &NativePlatform() {
    return Win32Platform;
}

void SetProgramArguments(int, char **) {}
