#include "common/option.h"

void ResetOption(TOption &option) {
    TOption defaults;
    defaults.FileName = std::move(option.FileName);
    defaults.DateTime = option.DateTime;
    option = std::move(defaults);
}

TStampSource SourceKindFor(const TOption &option, TStampKind kind) {
    return option.Source == ssSameKind ? TStampSource(kind) : option.Source;
}
