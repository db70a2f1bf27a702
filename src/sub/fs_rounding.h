#pragma once
// Cutting stamps down to what FAT and exFAT volumes keep.

#include "sub/timevalue.h"

#include <string>

// The file-system name of the volume that holds `path`; empty when the volume
// cannot be asked.
std::string GetFileSystemName(const std::string &path);

// Cuts `value` (a new stamp of kind `kind` for the item at `path`) towards the
// past to the step that a FAT or exFAT volume keeps for that kind; on any
// other volume, and when the result cannot be formed, the value stays.
void RoundForFileSystem(const std::string &path, int kind, TTimeValue &value);
