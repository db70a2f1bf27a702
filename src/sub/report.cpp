// STAND-IN until the report lines are built.
#include "sub/report.h"

#include "main/errors.h"

const char *const StampKindNames[3] = {"更新日時", "作成日時", "アクセス日時"};

std::string FormatTimeParts(const TTimeParts &, const std::string &, int) {
    throw EUnexpected("ENotBuilt", "FormatTimeParts");
}
TShiftParts SplitShift(int64_t) { throw EUnexpected("ENotBuilt", "SplitShift"); }
void ReportItem(const TItemStamps &) { throw EUnexpected("ENotBuilt", "ReportItem"); }
