#pragma once
// Restore lines: given back as a response file they set every stamp back.

#include "common/item_stamps.h"

#include <string>

extern const char StampKindLetters[3];

// The path as one token of a response file: in double quotes (a double quote
// inside doubled) when the reader would otherwise cut it, that is when it
// holds a blank (codes 1 to 32), a comma or a double quote.
std::string QuotedForResponseFile(const std::string &path);

// Writes one line per selected kind that sets the item's present stamp
// (OldValues) back; with preview, only tells which item would get lines. An
// item whose lines would not be read back as written gets none: a warning on
// the error stream instead.
void WriteRestoreLines(const TItemStamps &item);
