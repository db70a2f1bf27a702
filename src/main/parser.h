#pragma once
// The argument parser: tokens in, option records and settings out.

#include "main/option.h"

#include <cstdint>
#include <string>
#include <vector>

// Splits combined switches such as "-ixg" into "-i", "-x", "-g".
std::vector<std::string> SplitCombinedSwitches(const std::vector<std::string> &tokens);

// A signed 32-bit integer with optional sign and "$", "x", "0x" prefixes.
bool ReadIntegerArg(const std::string &text, int32_t &value);

// Interprets a token list (the first `defaultCount` from the default option
// string) into Operands and the settings; raises EAppError.
void ParseTokens(const std::vector<std::string> &tokens, size_t defaultCount);

// The whole parse of one run.
void ParseOptions();
