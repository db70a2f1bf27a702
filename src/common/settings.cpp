#include "common/settings.h"

TTimeValue NowTime = 0;
TTimeValue UnknownTime = 0;
bool IsNT = true;
std::string ProgName;
std::string RegKey;
int32_t SubSecondDigits = 6;
bool SplitFileNames = true;
bool FatRounding = true;
std::vector<TOption> Operands;
bool HeadingPending = false;
bool ItemsKept = false;
int ExitCode = 0;
