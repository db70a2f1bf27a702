// STAND-IN until the default-option maintenance is built.
#include "main/default_option.h"

#include "main/errors.h"

bool IsDefOptForm(const std::string &) { return false; }
void MaintainDefaultOption(const std::vector<std::string> &) {
    throw EUnexpected("ENotBuilt", "MaintainDefaultOption");
}
