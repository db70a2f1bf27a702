// STAND-IN until the file-system rounding is built.
#include "sub/fs_rounding.h"

#include "main/errors.h"

std::string GetFileSystemName(const std::string &) {
    throw EUnexpected("ENotBuilt", "GetFileSystemName");
}
void RoundForFileSystem(const std::string &, int, TTimeValue &) {
    throw EUnexpected("ENotBuilt", "RoundForFileSystem");
}
