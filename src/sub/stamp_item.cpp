// STAND-IN until the stamping of one item is built.
#include "sub/stamp_item.h"

#include "main/errors.h"

int SourceKindFor(const TOption &, int) { throw EUnexpected("ENotBuilt", "SourceKindFor"); }
void StampItem(const std::string &, TOption, bool) { throw EUnexpected("ENotBuilt", "StampItem"); }
