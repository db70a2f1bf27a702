#pragma once
// Stamping one item: read its stamps, compute the new ones and write them.

#include "common/item_stamps.h"
#include "common/option.h"
#include "common/settings.h"
#include "engine/fs_rounding.h"
#include "platform/platform.h"

#include <string>

// Reads the item's three present stamps into OldValues from one look at its
// directory entry (in its folder, by Place), and returns that entry; raises
// EAppError when the item is gone.
TFindData ReadPresentStamps(TItemStamps &item);

// What stamping an item needs of its run.
struct TStampContext {
    TRunTimes Times;
    bool FatRounding = true;
    bool IsNT = true;                // false: folders are stamped through the helper program
    TVolumeNames *Volumes = nullptr; // null: every volume is asked afresh
};

// Everything done for one item before its report: reads the three present
// stamps, computes the selected new ones and, unless previewing, writes
// them; sets Outcome. Raises EAppError for errors that end the run.
void ApplyItemStamps(TItemStamps &item, bool isFolder, const TStampContext &context);
// Its two halves. The first reads and computes, and decides what the
// platform is known to refuse; true when the item is to be written (Outcome
// is soChanged until the write says otherwise), false when its Outcome is
// final. The second writes what the first computed, and sets Outcome.
bool PrepareItemStamps(TItemStamps &item, const TStampContext &context);
void WriteItemStamps(TItemStamps &item, bool isFolder, const TStampContext &context);
