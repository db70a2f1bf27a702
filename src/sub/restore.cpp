// STAND-IN until the restore lines are built.
#include "sub/restore.h"

#include "main/errors.h"

const char StampKindLetters[3] = {'w', 'c', 'a'};

void WriteRestoreLines(const TItemStamps &) { throw EUnexpected("ENotBuilt", "WriteRestoreLines"); }
