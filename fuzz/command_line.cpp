// The Windows command-line rule over the program's text (the command line in
// UTF-8, as its wide form gives it): arguments are never empty and hold no
// quote, each argument written in double quotes reads back as itself, and no
// argument is cut inside a character. The first byte chooses whether the
// line is taken as it stands or as the system hands it over (valid UTF-8).

#include "cli/option_sources.h"
#include "fuzz_support.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    if (size == 0)
        return 0;
    const bool systemText = data[0] & 1;
    std::string line(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (systemText)
        line = AsUtf8(line);

    const std::vector<std::string> arguments = SplitCommandLine(line);
    std::string rewritten;
    for (const std::string &argument : arguments) {
        FUZZ_CHECK(!argument.empty());
        FUZZ_CHECK(argument.find('\0') == std::string::npos);
        FUZZ_CHECK(argument.find('"') == std::string::npos);
        if (systemText && line.find('\0') == std::string::npos)
            FUZZ_CHECK(IsUtf8(argument));
        rewritten += "\"" + argument + "\" ";
    }
    const std::vector<std::string> again = SplitCommandLine(rewritten);
    if (again != arguments) {
        PrintList("first", arguments);
        PrintList("again", again);
    }
    FUZZ_CHECK(again == arguments);
    return 0;
}
