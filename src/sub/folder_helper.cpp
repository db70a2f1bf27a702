// STAND-IN until the folder helper route is built.
#include "sub/folder_helper.h"

#include "main/errors.h"

std::string HelperArguments(const std::string &, TTimeValue, int) {
    throw EUnexpected("ENotBuilt", "HelperArguments");
}
bool StampFolderByHelper(const std::string &, TTimeValue, int) {
    throw EUnexpected("ENotBuilt", "StampFolderByHelper");
}
