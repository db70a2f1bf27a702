// The reader of the -d and -t arguments, absolute and relative: whatever it
// reads, writing the groups back as digits reads back as the same fields.

#include "cli/datetime_arg.h"
#include "fuzz_support.h"
#include "report/report.h"

#include <cstdint>
#include <string>

namespace {

bool SameFields(const TTimeParts &a, const TTimeParts &b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.Fraction == b.Fraction;
}

void Check(const std::string &body, TDateTimeArgKind kind) {
    TTimeParts parts;
    bool wellFormed = true;
    const int count = ReadDateTimeArg(body, kind, parts, &wellFormed);
    FUZZ_CHECK(count >= 1 && count <= (kind == dtDate ? 3 : 4));
    // A second argument read over the first, as -d15 after -d2011-03-15.
    TTimeParts again = parts;
    ReadDateTimeArg(body, kind, again);
    if (!wellFormed)
        return;

    // The fields in the program's own restore form read back unchanged.
    const std::string written = kind == dtDate
                                    ? FormatTimeParts(parts, "d:%d-%d-%d", 0)
                                    : FormatTimeParts(parts, "t:%3:d:%4:d:%5:d.%6:.7d", 8);
    TTimeParts reread = parts;
    bool rereadWellFormed = false;
    FUZZ_CHECK(ReadDateTimeArg(written, kind, reread, &rereadWellFormed) ==
               (kind == dtDate ? 3 : 4));
    FUZZ_CHECK(rereadWellFormed);
    FUZZ_CHECK(SameFields(reread, parts));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    const std::string body(reinterpret_cast<const char *>(data), size);
    Check(body, dtDate);
    Check(body, dtTime);
    return 0;
}
