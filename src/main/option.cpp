#include "main/option.h"

std::vector<TOption> Operands;
int32_t SubSecondDigits = 6;
bool SplitFileNames = true;
bool FatRounding = true;
bool IsNT = true;
std::string ProgName;
std::string RegKey;

void ResetOption(TOption &option) {
    TOption defaults;
    defaults.FileName = std::move(option.FileName);
    defaults.DateTime = option.DateTime;
    option = std::move(defaults);
}

void AppendOperand(const TOption &working, const std::string &fileName) {
    if (Operands.size() == Operands.capacity())
        Operands.reserve(Operands.empty() ? 256 : Operands.capacity() * 2);
    Operands.push_back(working);
    Operands.back().FileName = fileName;
}
