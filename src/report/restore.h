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
// (OldValues) back; with preview, only tells which item would get lines.
// An item whose full path cannot be had gets no lines but a warning: a
// relative path in its place would aim at another item wherever the lines
// are read back.
void WriteRestoreLines(const TItemStamps &item);

// Tells, on the error stream, that the item gets no restore lines, and why.
void RefuseRestoreLines(const std::string &path, const std::string &reason);
