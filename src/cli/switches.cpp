#include "cli/switches.h"

#include "common/text.h"

namespace {

bool IsSplitLetter(char c) {
    switch (LowerAscii(c)) {
    case 'a':
    case 'c':
    case 'e':
    case 'g':
    case 'i':
    case 'r':
    case 'v':
    case 'w':
    case 'x':
        return true;
    default:
        return false;
    }
}

} // namespace

std::vector<std::string> SplitCombinedSwitches(const std::vector<std::string> &tokens) {
    std::vector<std::string> result;
    result.reserve(tokens.size());
    for (const std::string &original : tokens) {
        std::string token = original;
        for (;;) {
            if (token.size() <= 2 || !IsSwitchPrefix(token[0]) || !IsSplitLetter(token[1]))
                break;
            const std::string body = token.substr(1);
            const size_t k = body[1] == '+' || body[1] == '-' ? 3 : 2;
            if (body.size() < k)
                break;
            result.push_back("-" + body.substr(0, k - 1));
            token = "-" + body.substr(k - 1);
        }
        result.push_back(std::move(token));
    }
    return result;
}
