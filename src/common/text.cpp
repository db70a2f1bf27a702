#include "common/text.h"

#include "platform/platform.h"

size_t CharLength(const std::string &text, size_t i) {
    if (i + 1 < text.size() && Platform().IsLeadByte(static_cast<unsigned char>(text[i])))
        return 2;
    return 1;
}

std::string QuotedArgument(const std::string &text) {
    auto length = [&](size_t i) { return CharLength(text, i); };
    bool needed = false;
    for (size_t i = 0; i < text.size() && !needed; i += length(i)) {
        const char c = text[i];
        needed = length(i) == 1 && (IsBlank(c) || c == ',' || c == '"');
    }
    if (!needed)
        return text;
    std::string quoted = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t n = length(i);
        if (n == 1 && text[i] == '"')
            quoted += '"';
        quoted.append(text, i, n);
        i += n;
    }
    return quoted + "\"";
}
