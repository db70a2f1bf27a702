#include "common/text.h"

#include <cstdio>

std::string QuotedArgument(const std::string &text) {
    bool needed = false;
    for (char c : text)
        needed = needed || IsBlank(c) || c == ',' || c == '"';
    if (!needed)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

bool DecodeUtf8(std::string_view text, size_t at, uint32_t &codePoint, size_t &length) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    codePoint = lead;
    length = 1;
    if (lead < 0x80)
        return true;
    const size_t n = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (n == 0 || at + n > text.size())
        return false;
    // The second byte's range excludes overlong forms, surrogates and values
    // past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return false;
    uint32_t value = lead & (0x7F >> n);
    for (size_t k = at + 1; k < at + n; ++k) {
        if ((byte(k) & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (byte(k) & 0x3F);
    }
    codePoint = value;
    length = n;
    return true;
}

bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string &text) {
    text.clear();
    const auto unit = [&](size_t k) {
        const auto a = static_cast<unsigned char>(bytes[k]);
        const auto b = static_cast<unsigned char>(bytes[k + 1]);
        return bigEndian ? uint32_t(a << 8 | b) : uint32_t(b << 8 | a);
    };
    for (size_t k = 0; k < bytes.size(); k += 2) {
        if (k + 1 >= bytes.size())
            return false;
        uint32_t c = unit(k);
        if (c >= 0xDC00 && c <= 0xDFFF)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (k + 3 >= bytes.size())
                return false;
            const uint32_t low = unit(k + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            k += 2;
        }
        AppendUtf8(text, c);
    }
    return true;
}

std::string CodePointList(const std::vector<uint32_t> &codePoints) {
    std::string list;
    for (uint32_t c : codePoints) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
        if (!list.empty())
            list += ' ';
        list += code;
    }
    return list;
}
