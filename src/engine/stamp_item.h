#pragma once
// Stamping one item: read its stamps, compute and write the new ones, report.

#include "common/item_stamps.h"
#include "common/option.h"
#include "platform/platform.h"

#include <string>

// Reads the item's three present stamps into OldValues from one look at its
// directory entry (in its folder, by Place), and returns that entry; raises
// EAppError when the item is gone.
TFindData ReadPresentStamps(TItemStamps &item);

// Everything StampItem does for the item before its report: reads the three
// present stamps, computes the selected new ones and, unless previewing,
// writes them; sets Outcome. Raises EAppError for errors that end the run.
void ApplyItemStamps(TItemStamps &item, bool isFolder);

// The whole job for one item selected by an operand: with -e its restore
// lines, otherwise the change (or preview) and its report. `path` names the
// item in the report; the first form reaches the item by that path, the
// second in the folder the walk holds open.
void StampItem(const std::string &path, TOption options, bool isFolder);
void StampItem(const std::string &path, const TItemPlace &place, TOption options, bool isFolder);

// An item that the walk met under a name it cannot be looked for by (one the
// system code page cannot hold, whose text may name another item, or one a
// path cannot hold as it stands): it keeps its stamps and is reported as not
// changed, or with -e as getting no restore lines, with `reason`.
void RefuseItem(const std::string &path, const TOption &options, const std::string &reason);
