// STAND-IN until the operand walker is built: an operand counts as found when
// the directory search matches anything; nothing is stamped yet.
#include "sub/walker.h"

#include "platform/platform.h"

bool HeadingPending = false;

bool SearchOperand(const std::string &pattern, TOption, bool topLevel, bool found) {
    if (topLevel)
        HeadingPending = true;
    TFindData entry;
    TSearch search(pattern, entry);
    return found || search.Started();
}
