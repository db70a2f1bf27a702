#pragma once
// The argument parser: tokens in, option records and settings out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A signed 32-bit integer: leading blanks, an optional sign, "$", "x", "X",
// "0x" or "0X" for hexadecimal, and nothing after the digits.
bool ReadIntegerArg(const std::string &text, int32_t &value);

// Interprets a token list (the first `defaultCount` from the default option
// string; those from `operandsFrom` on are file operands whatever they look
// like) into Operands and the settings; raises EAppError.
void ParseTokens(const std::vector<std::string> &tokens, size_t defaultCount,
                 size_t operandsFrom = SIZE_MAX);

// The whole parse of one run: usage screen for an empty command line,
// default-option maintenance for -DefOpt, else gathering and interpreting
// every token.
void ParseOptions();

// The native command line asks for the version alone: "--version" comes
// before any "--help" and "--", and the first argument is no -DefOpt.
bool VersionAsked();
