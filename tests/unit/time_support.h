#pragma once
// Calendar fields for tests: MakeParts (a date and a time of day) comes with
// the time values themselves.

#include "common/timevalue.h"

#include <cstdint>
