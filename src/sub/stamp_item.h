#pragma once
// Stamping one item: read its stamps, compute and write the new ones, report.

#include "main/option.h"
#include "sub/timevalue.h"

#include <cstdint>
#include <string>

enum TStampOutcome : uint8_t {
    soChanged = 0,       // the stamps were written
    soFailed = 1,        // the item was not changed
    soSourceMissing = 2, // the item's counterpart under a source folder does not exist
    soPreview = 3,       // preview: nothing was written
};

// The working record of one call of StampItem, read by the report and the
// restore writer.
struct TItemStamps {
    std::string Path;
    TOption Options;           // the item's own copy; SourceFile may name the file actually used
    int32_t FractionWidth = 0; // printed sub-second part with its point, 0 for none
    TTimeValue OldValues[3] = {0, 0, 0};
    TTimeValue NewValues[3] = {0, 0, 0};
    bool HasNewValue[3] = {false, false, false}; // the kind's new value was computed
    TTimeParts NewParts[3]; // local parts of the new values (not for an unknown setting)
    TStampOutcome Outcome = soChanged;
};

// The kind whose value the new stamp of `kind` is taken from (4 for ssNow).
int SourceKindFor(const TOption &option, int kind);

// Everything StampItem does for the item before its report: reads the three
// present stamps, computes the selected new ones and, unless previewing,
// writes them; sets Outcome. Raises EAppError for errors that end the run.
void ApplyItemStamps(TItemStamps &item, bool isFolder);

// The whole job for one item selected by an operand: with -e its restore
// lines, otherwise the change (or preview) and its report.
void StampItem(const std::string &path, TOption options, bool isFolder);
