#pragma once
// Reading the arguments of -d and -t.

#include "common/timevalue.h"

#include <string>

enum TDateTimeArgKind { dtDate, dtTime };

// `body` is the switch without its prefix ("d2011-03-15", "t:12:00"); the
// argument starts after the letter and one optional ":" or "=". Any run of
// non-digits separates number groups; digits alone are cut by fixed widths.
// Writes the groups into `target` and returns their number, 1 when the
// argument is unreadable (then 65535 marks wYear for a date, wHour for a time).
// `wellFormed`, when given, tells whether every group could be read: false for
// no group, too many groups, a group too large for 32 bits or a fraction of
// more than seven digits.
int ReadDateTimeArg(const std::string &body, TDateTimeArgKind kind, TTimeParts &target,
                    bool *wellFormed = nullptr);

// False when a number of the argument does not fit the field it fills: a year,
// month, day, hour, minute or second above 65535 (they are 16-bit fields), or a
// fraction of more than seven digits. An argument with too many groups fills
// no field and passes here: it is unreadable, and that is told as above.
bool DateTimeArgFits(const std::string &body, TDateTimeArgKind kind);
