#pragma once
// Stamping one item: read its stamps, compute the new ones and write them.

#include "common/item_stamps.h"
#include "common/option.h"
#include "common/settings.h"
#include "engine/fs_rounding.h"
#include "platform/platform.h"

#include <exception>
#include <string>

// Why an item keeps its stamps when it is no longer what its listing said.
inline constexpr const char *ReplacedSinceListed = "一覧を読んだ後で別のものに置き換えられました";

// Reads the item's three present stamps into OldValues from one look at its
// directory entry (in its folder, by Place), and gives that entry. False when
// it cannot be read (it is gone since it was listed, say): then Outcome is
// soFailed and ErrorCode the system's reason; also when it is no longer
// the kind of entry its listing gave (Reason then says so).
bool ReadPresentStamps(TItemStamps &item, TFindData &entry);
bool ReadPresentStamps(TItemStamps &item);

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
// The new stamps of an operand whose source is the start time of the run:
// the same for every item it selects (before rounding for the item's
// volume), so computed once.
struct TPresetStamps {
    bool Has[3] = {false, false, false};
    TTimeValue Values[3] = {0, 0, 0};
    TTimeParts Parts[3];
    // What the computation raised, raised again for each item, whose path
    // then begins the cause.
    std::exception_ptr Error;
};
// The preset of an operand whose new stamps do not depend on the item; false
// (and nothing filled) for any other.
bool PresetStampsFor(const TOption &operand, const TStampContext &context, TPresetStamps &preset);

// Its two halves. The first reads and computes (taking the operand's preset,
// where given), and decides what the platform is known to refuse; true when
// the item is to be written (Outcome is soChanged until the write says
// otherwise), false when its Outcome is final (soFailed also for an item that
// could not be read). The second writes what the first computed, and sets
// Outcome.
bool PrepareItemStamps(TItemStamps &item, const TStampContext &context,
                       const TPresetStamps *preset = nullptr);
void WriteItemStamps(TItemStamps &item, bool isFolder, const TStampContext &context);
