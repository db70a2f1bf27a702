#include "common/settings.h"

#include "platform/platform.h"

TTimeValue NowTime = 0;
TTimeValue UnknownTime = 0;
std::string ProgName;
std::string RegKey;
int32_t SubSecondDigits = 6;
bool SplitFileNames = true;
bool FatRounding = true;
std::vector<TOption> Operands;
bool HeadingPending = false;
bool ItemsKept = false;
int ExitCode = 0;

bool IsNT() {
    return Platform().IsNTFamily();
}

void AppendOperand(const TOption &working, const std::string &fileName) {
    if (Operands.size() == Operands.capacity())
        Operands.reserve(Operands.empty() ? 256 : Operands.capacity() * 2);
    Operands.push_back(working);
    Operands.back().FileName = fileName;
}

bool IsUnknownStamp(TTimeValue value) {
    return value == 0 || value == UnknownTime;
}
