// Response-file contents: read as the program reads "@name", through the
// combined-switch splitting. Line breaks become the platform's own.

#include "cli/option_sources.h"
#include "cli/parser.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "fuzz_support.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    if (size == 0)
        return 0;
    Fake().DoubleByte = data[0] & 1;
    Fake().Files["restore.txt"] = std::string(reinterpret_cast<const char *>(data) + 1, size - 1);

    const std::vector<std::string> tokens = ReadResponseFile("restore.txt");
    for (const std::string &token : tokens) {
        FUZZ_CHECK(token.find('\0') == std::string::npos);
        if (std::string(LineEnd) == "\n")
            FUZZ_CHECK(token.find('\r') == std::string::npos);
    }
    const TTokenList list = GatherTokens({"@restore.txt"}, run.Names);
    FUZZ_CHECK(list.DefaultCount == 0);
    FUZZ_CHECK(list.Tokens.size() >= tokens.size());
    FUZZ_CHECK(list.Tokens == SplitCombinedSwitches(tokens));
    return 0;
}
