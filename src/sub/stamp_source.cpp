// STAND-IN until the stamp sources are built.
#include "sub/stamp_source.h"

#include "main/errors.h"

void FindStamp(const std::string &, int, std::string &, TTimeValue &) {
    throw EUnexpected("ENotBuilt", "FindStamp");
}
void GetStamp(const std::string &, int, TTimeValue &) { throw EUnexpected("ENotBuilt", "GetStamp"); }
std::string RelativeItemPath(const std::string &, const std::string &) {
    throw EUnexpected("ENotBuilt", "RelativeItemPath");
}
void ComputeNewStamp(const std::string &, int, TOption &, TTimeValue &) {
    throw EUnexpected("ENotBuilt", "ComputeNewStamp");
}
