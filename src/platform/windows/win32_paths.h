#pragma once
// Path forms and open flags of the Windows build, shared by the platform
// table and the folder helper.

#include <windows.h>

#include <cwchar>
#include <string>

// The length from which a plain path fails: such a path is given to the wide
// calls in the verbatim ("\\?\") form, which has no such limit.
inline constexpr size_t PlainPathLimit = MAX_PATH;

inline bool HasWidePrefix(const std::wstring &text, const wchar_t *prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// The verbatim form of an absolute path as GetFullPathNameW gives it: the
// system takes it as it stands, without the clean-up of typed text (no "/"
// to "\", no "." or ".." steps, no trailing dots or blanks cut off, no
// device names), so a name found in a listing keeps its meaning.
inline std::wstring VerbatimForm(const std::wstring &full) {
    if (HasWidePrefix(full, L"\\\\?\\"))
        return full;
    if (HasWidePrefix(full, L"\\\\.\\"))
        return L"\\\\?\\" + full.substr(4);
    if (HasWidePrefix(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The plain form of a verbatim path (a share as "\\server\share").
inline std::wstring PlainForm(const std::wstring &verbatim) {
    if (HasWidePrefix(verbatim, L"\\\\?\\UNC\\"))
        return L"\\\\" + verbatim.substr(8);
    if (HasWidePrefix(verbatim, L"\\\\?\\"))
        return verbatim.substr(4);
    return verbatim;
}

// GetFullPathNameW without a size limit; false (the system's reason kept by
// the call) when it fails.
inline bool FullWidePath(const std::wstring &path, std::wstring &full) {
    full.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (n == 0)
            return false;
        if (n < full.size()) {
            full.resize(n);
            return true;
        }
        full.assign(n, L'\0');
    }
}

// CreateFileW's flags for writing an item's stamps: a folder needs backup
// semantics; an item taken as itself (a link or junction met below the
// operand) is opened as the reparse point, never as what it points to.
inline DWORD StampOpenFlags(bool isFolder, bool followLink) {
    const DWORD kind = isFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
    return followLink ? kind : kind | FILE_FLAG_OPEN_REPARSE_POINT;
}
