#include "common/option.h"

#include "common/settings.h"

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

TStampSource SourceKindFor(const TOption &option, TStampKind kind) {
    return option.Source == ssSameKind ? TStampSource(kind) : option.Source;
}
