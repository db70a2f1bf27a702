#pragma once
// Cutting stamps down to what FAT and exFAT volumes keep.

#include "sub/timevalue.h"

#include <string>

std::string GetFileSystemName(const std::string &path);
void RoundForFileSystem(const std::string &path, int kind, TTimeValue &value);
