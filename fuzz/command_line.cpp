// The Windows command-line rule, double-byte aware: arguments are never
// empty, and each argument written in double quotes reads back as itself.

#include "cli/option_sources.h"
#include "fuzz_support.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace {

// The argument ends with a lead byte that has no second byte.
bool EndsWithLoneLeadByte(const std::string &text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (Platform().IsLeadByte(static_cast<unsigned char>(text[i]))) {
            if (i + 1 == text.size())
                return true;
            ++i;
        }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    if (size == 0)
        return 0;
    Fake().DoubleByte = data[0] & 1;
    const std::string line(reinterpret_cast<const char *>(data) + 1, size - 1);

    const std::vector<std::string> arguments = SplitCommandLine(line);
    std::string rewritten;
    bool comparable = true;
    for (const std::string &argument : arguments) {
        FUZZ_CHECK(!argument.empty());
        FUZZ_CHECK(argument.find('\0') == std::string::npos);
        if (!Fake().DoubleByte)
            FUZZ_CHECK(argument.find('"') == std::string::npos);
        // A lead byte at the very end of the line would take the closing quote.
        if (EndsWithLoneLeadByte(argument))
            comparable = false;
        rewritten += "\"" + argument + "\" ";
    }
    if (!comparable)
        return 0;
    const std::vector<std::string> again = SplitCommandLine(rewritten);
    if (again != arguments) {
        PrintList("first", arguments);
        PrintList("again", again);
    }
    FUZZ_CHECK(again == arguments);
    return 0;
}
