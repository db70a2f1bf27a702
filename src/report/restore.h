#pragma once
// Restore lines: given back as a response file they set every stamp back.

#include "common/item_stamps.h"
#include "report/report.h"

#include <string>

extern const char StampKindLetters[3];

// Writes one line per selected kind that sets the item's present stamp
// (OldValues) back, the full path quoted as a response file's token; with
// preview, only tells which item would get lines. An item whose stamps could
// not be read (Outcome soFailed, ErrorCode the reason), and one whose lines
// would not be read back as written, gets none: a warning on the error stream
// instead. Where the platform cannot set a creation stamp, the item gets its
// other lines and a warning for that one.
void WriteRestoreLines(TReport &report, const TItemStamps &item);
// The heading of a restore run's operand, when it is pending (on the error
// stream).
void WriteRestoreHeading(TReport &report);

// Tells, on the error stream, that the item gets no restore lines, and why.
void RefuseRestoreLines(TReport &report, const std::string &path, const std::string &reason);
