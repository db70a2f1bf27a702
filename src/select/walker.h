#pragma once
// Expanding one file operand into the items it selects.

#include "common/option.h"

#include <string>

// Searches the operand's pattern (and, with Recurse, every sub-folder) and
// hands each selected item to the item handler. True when anything was
// selected, or when `found` was already true.
bool SearchOperand(const std::string &pattern, TOption option, bool topLevel, bool found);

// What the walker does with a selected item: StampItem unless a test put
// another handler in place (nullptr: back to StampItem).
using TItemHandler = void (*)(const std::string &path, TOption option, bool isFolder);
void SetItemHandler(TItemHandler handler);
