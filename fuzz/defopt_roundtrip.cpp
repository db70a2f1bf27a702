// Round trip of the default options: any arguments stored with -DefOpt read
// back from the registry as the same tokens. The native build takes its
// arguments as the system delivers them (any bytes but NUL); the Windows
// build cuts them from its command line, text in UTF-8.

#include "cli/default_option.h"
#include "cli/option_sources.h"
#include "cli/parser.h"
#include "cli/switches.h"
#include "fuzz_support.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    std::vector<std::string> arguments;
    if (input.ConsumeBool()) {
        arguments = SplitCommandLine(AsUtf8(input.ConsumeRemainingBytesAsString()));
    } else {
        while (input.remaining_bytes() > 0 && arguments.size() < 32) {
            std::string argument = input.ConsumeRandomLengthString(48);
            std::erase(argument, '\0');
            arguments.push_back(argument);
        }
    }
    std::vector<std::string> expected;
    for (const std::string &argument : arguments)
        if (!argument.empty())
            expected.push_back(argument);
    if (expected.empty())
        return 0; // -DefOpt alone removes the defaults

    std::vector<std::string> commandLine = {"-DefOpt"};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    MaintainDefaultOption(commandLine, run.Names.RegKey, run.Output);

    const std::vector<std::string> tokens =
        SplitDelimitedText(ReadDefaultOptionString(run.Names), ',');
    if (tokens != expected) {
        PrintList("stored", expected);
        PrintList("read  ", tokens);
    }
    FUZZ_CHECK(tokens == expected);
    const TTokenList list = GatherTokens({}, run.Names);
    FUZZ_CHECK(list.Tokens == SplitCombinedSwitches(expected));
    FUZZ_CHECK(list.DefaultCount == list.Tokens.size());
    return 0;
}
