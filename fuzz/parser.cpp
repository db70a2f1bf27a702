// The argument parser over a token list: combined switches, -d/-t with their
// relative and restore forms, -z settings and operands split at ";".

#include "cli/parser.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "fuzz_support.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

// The pieces of one token after the combined-switch splitting give back its
// letters in order, each piece a switch of its own.
void CheckSplitting(const std::string &token, const std::vector<std::string> &pieces) {
    FUZZ_CHECK(!pieces.empty());
    if (pieces.size() == 1) {
        FUZZ_CHECK(pieces[0] == token);
        return;
    }
    std::string letters;
    for (const std::string &piece : pieces) {
        FUZZ_CHECK(piece.size() >= 2 && piece[0] == '-');
        letters += piece.substr(1);
    }
    FUZZ_CHECK(letters == token.substr(1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    std::vector<std::string> raw;
    while (input.remaining_bytes() > 0 && raw.size() < 64)
        raw.push_back(input.ConsumeRandomLengthString(64));

    std::vector<std::string> tokens;
    for (const std::string &token : raw) {
        const std::vector<std::string> pieces = SplitCombinedSwitches({token});
        CheckSplitting(token, pieces);
        tokens.insert(tokens.end(), pieces.begin(), pieces.end());
    }
    FUZZ_CHECK(SplitCombinedSwitches(raw) == tokens);
    const size_t defaultCount = tokens.empty() ? 0 : size_t(data[0]) % (tokens.size() + 1);

    TParsedOptions parsed;
    try {
        parsed = ParseTokens(tokens, defaultCount);
    } catch (const EAppError &) {
        return 0;
    } catch (const EAbort &) {
        return 0; // the usage screen
    }
    FUZZ_CHECK(!parsed.Operands.empty());
    FUZZ_CHECK(parsed.Settings.SubSecondDigits >= 0 && parsed.Settings.SubSecondDigits <= 7);
    for (const TOption &entry : parsed.Operands) {
        FUZZ_CHECK(!entry.FileName.empty());
        FUZZ_CHECK(!entry.Kinds.Empty());
        FUZZ_CHECK(entry.DateMode <= dmUnknown);
        FUZZ_CHECK(entry.FolderMode <= fmNoFiles);
    }
    return 0;
}
