#pragma once
// Restore lines: given back as a response file they set every stamp back.

#include "sub/stamp_item.h"

extern const char StampKindLetters[3];

void WriteRestoreLines(const TItemStamps &item);
