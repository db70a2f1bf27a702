// The delimited-text rule, with any delimiter and quote character, over any
// bytes; with ASCII delimiters and quotes, UTF-8 text is never cut inside a
// character.

#include "cli/option_sources.h"
#include "fuzz_support.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

bool IsBlankByte(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    const char delimiter = input.ConsumeBool() ? ',' : char(input.ConsumeIntegral<uint8_t>());
    const char quote = input.ConsumeBool() ? '"' : char(input.ConsumeIntegral<uint8_t>());
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::vector<std::string> items = SplitDelimitedText(text, delimiter, quote);
    const std::string used = text.substr(0, text.find('\0'));
    size_t total = 0;
    for (const std::string &item : items)
        total += item.size();
    FUZZ_CHECK(total <= used.size());
    if (IsUtf8(used) && static_cast<unsigned char>(delimiter) < 0x80 &&
        static_cast<unsigned char>(quote) < 0x80)
        for (const std::string &item : items)
            FUZZ_CHECK(IsUtf8(item));

    // Without quotes the items are exactly the text's runs between blanks
    // and delimiters, in order.
    if (used.find(quote) != std::string::npos || quote == '\0')
        return 0;
    std::string joined, kept;
    for (const std::string &item : items) {
        for (char c : item)
            FUZZ_CHECK(!IsBlankByte(c) && c != delimiter);
        joined += item;
    }
    for (char c : used)
        if (!IsBlankByte(c) && c != delimiter)
            kept += c;
    FUZZ_CHECK(joined == kept);
    return 0;
}
