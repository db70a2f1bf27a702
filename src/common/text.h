#pragma once
// Text helpers shared by the layers. Text inside the program is UTF-8 (in
// the native build, names are whatever bytes the system holds): a byte from
// 0x80 on is never a blank, a quote, a delimiter or a separator.

#include "platform/utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Codes 1 to 32: what separates items of delimited text and arguments.
inline bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// "A" to "Z" lowered; every other byte as it is.
inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// `text` as one item of delimited text that reads back whole: in double quotes,
// its own double quotes doubled, when it holds a blank, a comma or a double
// quote; otherwise as it stands.
std::string QuotedArgument(const std::string &text);

// The UTF-8 sequence at `at`: its code point and length. False for a byte
// that starts no valid sequence (an overlong form, a surrogate, a value past
// U+10FFFF, a cut sequence); `length` is then 1.
bool DecodeUtf8(std::string_view text, size_t at, uint32_t &codePoint, size_t &length);

// UTF-16 bytes (little- or big-endian) as UTF-8. False for an unpaired
// surrogate or a last byte without its pair: `text` then holds what came before.
bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string &text);

// Code points as "U+00E9 U+1F600".
std::string CodePointList(const std::vector<uint32_t> &codePoints);
