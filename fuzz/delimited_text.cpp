// The delimited-text rule, with any delimiter and quote character, with and
// without the double-byte lead bytes of code page 932.

#include "cli/option_sources.h"
#include "fuzz_support.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    Fake().DoubleByte = input.ConsumeBool();
    const char delimiter = input.ConsumeBool() ? ',' : char(input.ConsumeIntegral<uint8_t>());
    const char quote = input.ConsumeBool() ? '"' : char(input.ConsumeIntegral<uint8_t>());
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::vector<std::string> items = SplitDelimitedText(text, delimiter, quote);
    const std::string used = text.substr(0, text.find('\0'));
    size_t total = 0;
    for (const std::string &item : items)
        total += item.size();
    FUZZ_CHECK(total <= used.size());

    // Without quotes and double-byte characters the items are exactly the
    // text's runs between blanks and delimiters, in order.
    if (Fake().DoubleByte || used.find(quote) != std::string::npos || quote == '\0')
        return 0;
    std::string joined, kept;
    for (const std::string &item : items) {
        for (char c : item)
            FUZZ_CHECK(!IsBlank(c) && c != delimiter);
        joined += item;
    }
    for (char c : used)
        if (!IsBlank(c) && c != delimiter)
            kept += c;
    FUZZ_CHECK(joined == kept);
    return 0;
}
