// Round trip of the default options: any arguments stored with -DefOpt read
// back from the registry as the same tokens. The native build takes its
// arguments as the system delivers them (any bytes but NUL); the Windows
// build cuts them from its command line, with code page 932 lead bytes.

#include "cli/default_option.h"
#include "cli/option_sources.h"
#include "cli/parser.h"
#include "cli/switches.h"
#include "fuzz_support.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

// The command line as the system gives it: text of code page 932, where a
// lead byte is always followed by a trail byte; a broken character is the
// system's "?".
std::string CodePageText(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)))
            continue;
        const auto trail = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC))
            ++i;
        else
            text[i] = '?';
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    std::vector<std::string> arguments;
    if (input.ConsumeBool()) {
        Fake().DoubleByte = true;
        arguments = SplitCommandLine(CodePageText(input.ConsumeRemainingBytesAsString()));
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
