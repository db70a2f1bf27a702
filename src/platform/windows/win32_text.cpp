// Text of the Windows build: the program's UTF-8 as the system's UTF-16 and
// code pages and back, names compared as the system compares them, and the
// standard streams, to a console or to a file or a pipe.

#include "platform/utf8.h"
#include "platform/windows/win32_calls.h"

#include <algorithm>

namespace win32 {

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

namespace {

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

} // namespace

// UTF-16 text as the program's text: false (with ERROR_NO_UNICODE_TRANSLATION
// kept) when it holds an unpaired surrogate, which UTF-8 cannot hold; `text`
// then shows each as U+FFFD. `standIn`, when given, gets one flag per byte of
// `text`: true for the bytes of such a U+FFFD.
bool FromWide(const wchar_t *wide, size_t length, std::string &text, std::vector<bool> *standIn) {
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

namespace {

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

} // namespace

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

namespace {

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

} // namespace

bool WriteStream(TStream stream, const char *data, size_t size) {
    HANDLE handle = StreamHandle(stream);
    return handle && WriteBytes(handle, data, size);
}

namespace {

// A console, not a file, a pipe or another character device such as NUL:
// only a console has a console mode.
bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    if (GetFileType(handle) != FILE_TYPE_CHAR)
        return Failed(false, ERROR_NOT_SUPPORTED);
    return GetConsoleMode(handle, &mode) || Failed(false);
}

} // namespace

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

} // namespace win32
