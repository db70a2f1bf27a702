#pragma once
// Path forms and open flags of the Windows build, shared by the platform
// table and the folder helper.

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

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

// Whether a listed long name matches a search pattern by the rules that
// Windows applies to the names users see (the system's search also matches
// an entry through its 8.3 short name alone, which this test does not):
// letters without regard to case; "*" any run of characters; "*" followed by
// "." any run that stops short of the name's last "."; "?" one character, or
// none at a "." or at the end of the name; a "." followed by "*" or "?", or
// at the end of the pattern, a "." or the end of the name; "*.*" every name.
// A pattern holding no wildcard matches the name alike, or its short name.
inline bool MatchesLongName(std::wstring pattern, std::wstring name) {
    if (pattern == L"*.*" || pattern.find_first_of(L"*?") == std::wstring::npos)
        return true;
    if (!pattern.empty())
        CharUpperBuffW(pattern.data(), DWORD(pattern.size()));
    if (!name.empty())
        CharUpperBuffW(name.data(), DWORD(name.size()));
    enum : wchar_t { Star = 1, DosStar, DosQm, DosDot };
    std::wstring tokens = pattern;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        if (pattern[i] == L'*')
            tokens[i] = next == L'.' ? DosStar : Star;
        else if (pattern[i] == L'?')
            tokens[i] = DosQm;
        else if (pattern[i] == L'.' && (next == L'*' || next == L'?' || next == L'\0'))
            tokens[i] = DosDot;
    }
    const size_t lastDot = name.rfind(L'.');
    // reached[i]: the tokens so far can match the first i characters.
    std::vector<bool> reached(name.size() + 1, false), next(name.size() + 1);
    reached[0] = true;
    for (wchar_t token : tokens) {
        std::fill(next.begin(), next.end(), false);
        for (size_t i = 0; i <= name.size(); ++i) {
            if (!reached[i])
                continue;
            const bool atEnd = i == name.size();
            switch (token) {
            case Star:
                std::fill(next.begin() + i, next.end(), true);
                break;
            case DosStar: {
                // Up to the last ".", never over it (to the end without one).
                const size_t limit =
                    lastDot != std::wstring::npos && lastDot >= i ? lastDot : name.size();
                std::fill(next.begin() + i, next.begin() + limit + 1, true);
                break;
            }
            case DosQm:
                if (!atEnd)
                    next[i + 1] = true;
                if (atEnd || name[i] == L'.')
                    next[i] = true;
                break;
            case DosDot:
                if (atEnd)
                    next[i] = true;
                else if (name[i] == L'.')
                    next[i + 1] = true;
                break;
            default:
                if (!atEnd && name[i] == token)
                    next[i + 1] = true;
            }
        }
        reached.swap(next);
    }
    return reached[name.size()];
}
