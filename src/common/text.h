#pragma once
// Text helpers shared by the layers. Text is in the system code page, where a
// lead byte and the byte after it form one double-byte character.

#include <cstddef>
#include <string>

// Codes 1 to 32: what separates items of delimited text and arguments.
inline bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// "A" to "Z" lowered; every other byte as it is.
inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Length of the character at `i`: 2 for a double-byte character whose second
// byte is there, else 1.
size_t CharLength(const std::string &text, size_t i);

// `text` as one item of delimited text that reads back whole: in double quotes,
// its own double quotes doubled, when it holds a blank, a comma or a double
// quote; otherwise as it stands. A double-byte character is taken whole, as
// the reader takes it.
std::string QuotedArgument(const std::string &text);
