#pragma once
// Expanding one file operand into the items it selects.

#include "common/item_stamps.h"
#include "common/option.h"

#include <string>

// Searches the operand's pattern (and, with Recurse, every sub-folder) and
// hands each selected item to the item handler. True when anything was
// selected, or when `found` was already true.
bool SearchOperand(const std::string &pattern, TOption option, bool topLevel, bool found);

// What the walker does with a selected item: StampItem unless a test put
// another handler in place (nullptr: back to StampItem). The item's folder
// is open while the handler runs.
using TItemHandler = void (*)(const std::string &path, const TItemPlace &place, TOption option,
                              bool isFolder);
void SetItemHandler(TItemHandler handler);
