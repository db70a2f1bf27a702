#pragma once
// Cutting stamps down to what FAT and exFAT volumes keep.

#include "common/option.h"
#include "common/timevalue.h"

#include <cstdint>
#include <string>

// The file-system name of the volume that holds `path`; empty when the volume
// cannot be asked.
std::string GetFileSystemName(const std::string &path);

// Cuts `value` (a new stamp of kind `kind` for the item at `path`) towards the
// past to the step that a FAT or exFAT volume keeps for that kind; on any
// other volume, and when the result cannot be formed, the value stays.
// `volumeId` is the item's volume where the platform reports one (0 where
// not): the file-system name of a volume is then asked once and remembered.
void RoundForFileSystem(const std::string &path, TStampKind kind, TTimeValue &value,
                        uint64_t volumeId = 0);
