#pragma once
// Expanding one file operand into the items it selects.

#include "main/option.h"

#include <string>

// Set at the start of every operand, cleared by its first report.
extern bool HeadingPending;

bool SearchOperand(const std::string &pattern, TOption option, bool topLevel, bool found);
