// Response-file contents: read as the program reads "@name", through the
// combined-switch splitting. Line breaks become the platform's own. The first
// byte chooses the file's form: the rest as it stands (the code page), or
// with a byte order mark in UTF-8, UTF-16LE or UTF-16BE; valid text gives the
// same tokens in every form.

#include "cli/option_sources.h"
#include "cli/parser.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

std::string InForm(const std::string &text, int form) {
    switch (form) {
    case 1:
        return "\xEF\xBB\xBF" + text;
    case 2:
        return "\xFF\xFE" + ToUtf16(text, false);
    case 3:
        return "\xFE\xFF" + ToUtf16(text, true);
    default:
        return text;
    }
}

// The error of a quote left open at a line end with more text after it.
bool OpenQuote(const EAppError &error) {
    return error.message().find("引用符") != std::string::npos;
}

// The cause without the file's name: the line and its text.
std::string LineOf(const EAppError &error) {
    const std::string &cause = error.cause();
    return cause.substr(std::min(cause.size(), cause.find(' ')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    if (size == 0)
        return 0;
    const int form = data[0] & 3;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    // Bytes after a UTF-16 mark may be no UTF-16: a file that cannot be read.
    const std::string raw =
        (form >= 2 ? std::string(form == 2 ? "\xFF\xFE" : "\xFE\xFF") : "") + text;
    Fake().Files["raw.txt"] = raw;
    try {
        ReadResponseFile("raw.txt");
    } catch (const EAppError &error) {
        FUZZ_CHECK(raw.rfind("\xFF\xFE", 0) == 0 || raw.rfind("\xFE\xFF", 0) == 0 ||
                   OpenQuote(error));
    }
    // Valid text, in the chosen form.
    std::string valid = IsUtf8(text) ? text : AsUtf8(text);
    while (valid.rfind("\xEF\xBB\xBF", 0) == 0)
        valid.erase(0, 3); // a mark at its start would be read as the form's own
    Fake().Files["restore.txt"] = InForm(valid, form);
    std::vector<std::string> tokens;
    try {
        tokens = ReadResponseFile("restore.txt");
    } catch (const EAppError &error) {
        // A quote open at a line end, with more after it: so in every form.
        FUZZ_CHECK(OpenQuote(error));
        for (int other = 0; other < 4; ++other) {
            Fake().Files["other.txt"] = InForm(valid, other);
            bool refused = false;
            try {
                ReadResponseFile("other.txt");
            } catch (const EAppError &again) {
                refused = OpenQuote(again) && LineOf(again) == LineOf(error);
            }
            FUZZ_CHECK(refused);
        }
        return 0;
    }
    for (const std::string &token : tokens) {
        FUZZ_CHECK(token.find('\0') == std::string::npos);
        FUZZ_CHECK(IsUtf8(token));
        if (std::string(LineEnd) == "\n")
            FUZZ_CHECK(token.find('\r') == std::string::npos);
    }
    for (int other = 0; other < 4; ++other) {
        Fake().Files["other.txt"] = InForm(valid, other);
        FUZZ_CHECK(ReadResponseFile("other.txt") == tokens);
    }
    const TTokenList list = GatherTokens({"@restore.txt"}, run.Names);
    FUZZ_CHECK(list.DefaultCount == 0);
    FUZZ_CHECK(list.Tokens.size() >= tokens.size());
    FUZZ_CHECK(list.Tokens == SplitCombinedSwitches(tokens));
    return 0;
}
