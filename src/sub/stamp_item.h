#pragma once
// Stamping one item: read its stamps, compute and write the new ones, report.

#include "main/option.h"
#include "sub/timevalue.h"

#include <cstdint>
#include <string>

enum TStampOutcome : uint8_t {
    soChanged = 0,
    soFailed = 1,
    soSourceMissing = 2,
    soPreview = 3,
};

// The working record of one call of StampItem, read by the report and the
// restore writer.
struct TItemStamps {
    std::string Path;
    TOption Options;
    int32_t FractionWidth = 0;
    TTimeValue OldValues[3] = {0, 0, 0};
    TTimeValue NewValues[3] = {0, 0, 0};
    bool HasNewValue[3] = {false, false, false}; // the kind's new value was computed
    TTimeParts NewParts[3];
    TStampOutcome Outcome = soChanged;
};

// The kind whose value the new stamp of `kind` is taken from (4 for ssNow).
int SourceKindFor(const TOption &option, int kind);

void StampItem(const std::string &path, TOption options, bool isFolder);
