#pragma once
// Shared pieces of the fuzz targets: a failed property aborts, so that
// libFuzzer reports the input; every input starts from the program's start
// values on a fresh in-memory platform.

#include "cli/option_sources.h"
#include "common/settings.h"
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
