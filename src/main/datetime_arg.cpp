// STAND-IN until the date and time reader is built.
#include "main/datetime_arg.h"

#include "main/errors.h"

int ReadDateTimeArg(const std::string &, TDateTimeArgKind, TTimeParts &) {
    throw EUnexpected("ENotBuilt", "ReadDateTimeArg");
}
