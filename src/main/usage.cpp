// STAND-IN until the usage screen is built.
#include "main/usage.h"

#include "main/errors.h"

void ShowUsage() { throw EUnexpected("ENotBuilt", "ShowUsage"); }
