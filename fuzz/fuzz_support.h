#pragma once
// Shared pieces of the fuzz targets: a failed property aborts, so that
// libFuzzer reports the input; every input starts from the program's start
// values on a fresh in-memory platform.

#include "cli/option_sources.h"
#include "common/settings.h"
#include "common/text.h"
#include "fake/fake_platform.h"
#include "report/output.h"
#include "report/report.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

[[noreturn]] inline void FuzzFailure(const char *file, int line, const char *what) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzFailure(__FILE__, __LINE__, #condition);                                           \
    } while (0)

// A fresh fake platform (installed for the lifetime of the object) and what
// a run keeps, as the program sets it at start.
class TFuzzRun {
private:
    TFakePlatformScope Scope;

public:
    TProgramNames Names{"kelvard", "\\software\\Varnhold\\kelvard"};
    TOutput Output;
    TReport Report{Output, {}};
};

inline std::string Printable(const std::string &text) {
    std::string result;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            result += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            result += escaped;
        }
    }
    return result;
}

inline void PrintList(const char *label, const std::vector<std::string> &items) {
    std::fprintf(stderr, "%s:", label);
    for (const std::string &item : items)
        std::fprintf(stderr, " [%s]", Printable(item).c_str());
    std::fprintf(stderr, "\n");
}

// Whether the text is valid UTF-8 throughout.
inline bool IsUtf8(const std::string &text) {
    uint32_t c = 0;
    size_t length = 1;
    for (size_t i = 0; i < text.size(); i += length)
        if (!DecodeUtf8(text, i, c, length))
            return false;
    return true;
}

// The text as the system's wide calls hand it over in UTF-8: each byte that
// starts no valid sequence becomes U+FFFD.
inline std::string AsUtf8(const std::string &text) {
    std::string result;
    uint32_t c = 0;
    size_t length = 1;
    for (size_t i = 0; i < text.size(); i += length)
        AppendUtf8(result, DecodeUtf8(text, i, c, length) ? c : 0xFFFD);
    return result;
}

// Valid UTF-8 text in UTF-16 bytes.
inline std::string ToUtf16(const std::string &text, bool bigEndian) {
    std::string bytes;
    const auto unit = [&](uint32_t u) {
        bytes += char(bigEndian ? u >> 8 : u & 0xFF);
        bytes += char(bigEndian ? u & 0xFF : u >> 8);
    };
    uint32_t c = 0;
    size_t length = 1;
    for (size_t i = 0; i < text.size(); i += length) {
        DecodeUtf8(text, i, c, length);
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return bytes;
}
