// The report formatter: any directive string with generated numbers and
// texts, and the calendar forms of any parts.

#include "common/errors.h"
#include "fuzz_support.h"
#include "report/report.h"

#include <algorithm>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

// Widths and precisions above this only make long runs of blanks or zeros.
constexpr int64_t LargestNumber = 100000;

// A run of digits whose number lies between that and the largest 32-bit one.
bool HasHugeNumber(const std::string &format) {
    int64_t value = 0;
    for (size_t i = 0; i <= format.size(); ++i) {
        if (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            value = std::min<int64_t>(value * 10 + (format[i] - '0'), INT64_MAX / 100);
            continue;
        }
        if (value > LargestNumber && value <= INT32_MAX)
            return true;
        value = 0;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    TTimeParts parts;
    parts.wYear = input.ConsumeIntegral<uint16_t>();
    parts.wMonth = input.ConsumeIntegral<uint16_t>();
    parts.wDay = input.ConsumeIntegral<uint16_t>();
    parts.wHour = input.ConsumeIntegral<uint16_t>();
    parts.wMinute = input.ConsumeIntegral<uint16_t>();
    parts.wSecond = input.ConsumeIntegral<uint16_t>();
    parts.Fraction = input.ConsumeIntegral<uint32_t>();
    const int width = input.ConsumeIntegralInRange<int>(-2, 8);

    // The program's own calendar forms never fault; a date of a four-digit
    // year takes 26 bytes and the sub-second part, as an unknown one does.
    const std::string restore =
        FormatTimeParts(parts, "-d:%d-%.2d-%.2d -t:%.2d:%.2d:%.2d.%.7d ", width);
    if (parts.wYear >= 1000 && parts.wYear <= 9999 && parts.wMonth < 100 && parts.wDay < 100 &&
        parts.wHour < 100 && parts.wMinute < 100 && parts.wSecond < 100 &&
        parts.Fraction < TicksPerSecond && width >= 0)
        FUZZ_CHECK(restore.size() == 26 + size_t(width));

    std::vector<std::string> texts;
    std::vector<TFormatArg> args;
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, 8);
    texts.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (input.ConsumeBool()) {
            args.emplace_back(input.ConsumeIntegral<int64_t>());
        } else {
            texts.push_back(input.ConsumeRandomLengthString(32));
            args.emplace_back(std::string_view(texts.back()));
        }
    }
    const std::string format = input.ConsumeRemainingBytesAsString();
    if (HasHugeNumber(format))
        return 0;
    try {
        const std::string result = FormatText(format, args);
        if (format.find('%') == std::string::npos)
            FUZZ_CHECK(result == format);
        FormatTimeParts(parts, format, width);
    } catch (const EUnexpected &error) {
        FUZZ_CHECK(error.kind() == "EConvertError");
    }
    return 0;
}
