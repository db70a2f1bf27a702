#pragma once
// Computing a new stamp from its source, and looking up one stamp of a file.

#include "common/item_stamps.h"
#include "common/option.h"
#include "common/settings.h"
#include "common/timevalue.h"
#include "platform/platform.h"

#include <string>

// The stamp of kind `kind` of the first entry that `pattern` finds, and that
// entry's own name; raises EAppError "ファイル (pattern) が見つかりません" when
// nothing matches. A value outside the stamp kinds leaves `value` as it was.
void FindStamp(const std::string &pattern, TStampKind kind, std::string &nameFound,
               TTimeValue &value, uint8_t *nanos = nullptr);
// The whole directory entry that FindStamp takes its stamp from.
TFindData FindEntry(const std::string &pattern);

// A source file that the user typed (`-sw:file` and its kin), found as the
// walk finds items: its folder part opened as typed, its name searched there
// (a pattern takes the first entry that a lookup reaches for sure: not "."
// or "..", nor a name that the program's text cannot hold or that the
// listing holds twice; natively a name holding "*" or "?" itself is taken
// first), and that entry read again by its exact name. Raises EAppError
// "ファイル (typed) が見つかりません" when there is none, and
// ESrcFileNotExist with DeviceSourceReason for what the system reads as a
// device (NUL, COM1, ...; natively also a FIFO or a socket).
struct TSourceFile {
    TItemPlace Place; // its folder, held open, and its exact name there
    TFindData Entry;  // with its stamps
};
TSourceFile FindSourceFile(const std::string &typed);
// FindStamp without the name found.
void GetStamp(const std::string &pattern, TStampKind kind, TTimeValue &value);

// The item's path relative to the folder part of the operand `operand`.
std::string RelativeItemPath(const std::string &operand, const std::string &item);

// The new value of one stamp of the item at `path`, read from stamp kind
// `readKind` of its source (0 for an unknown result). May rewrite
// option.SourceFile to the file actually used. Raises EAppError, or
// ESrcFileNotExist when the item's counterpart under a source folder is missing.
// `present`: the item's three stamps as already read, taken where the source
// is the item itself (null: they are looked up by `path`), with the
// nanoseconds below their last ticks in `presentNanos`. `resultNanos`, when
// given, gets the nanoseconds below the result's last tick: the source's
// where the value is copied or shifted, 0 where a date or time replaces it.
// `sourceEntry`, when given, is the entry of the single source file that
// option.SourceFile names, found before (FindSourceFile): it is not looked
// up again.
void ComputeNewStamp(const std::string &path, TStampKind readKind, TOption &option,
                     const TRunTimes &times, TTimeValue &result,
                     const TTimeValue *present = nullptr, const uint8_t *presentNanos = nullptr,
                     uint8_t *resultNanos = nullptr, const TFindData *sourceEntry = nullptr);
