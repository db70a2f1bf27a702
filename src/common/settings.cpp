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
int ExitCode = 0;

bool IsNT() {
    return Platform().IsNTFamily();
}
