// STAND-IN until the update-check registration is built.
#include "update/update_check.h"

void RegisterForUpdateCheck(const std::string &, const std::string &) {}
