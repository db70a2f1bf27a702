#pragma once
// Reading the arguments of -d and -t.

#include "sub/timevalue.h"

#include <string>

enum TDateTimeArgKind { dtDate, dtTime };

// `body` is the switch without its prefix ("d2011-03-15", "t:12:00").
// Returns the number of groups (1 when unreadable).
int ReadDateTimeArg(const std::string &body, TDateTimeArgKind kind, TTimeParts &target);
