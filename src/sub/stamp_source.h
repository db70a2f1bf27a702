#pragma once
// Computing a new stamp from its source, and looking up one stamp of a file.

#include "main/option.h"
#include "sub/timevalue.h"

#include <string>

// The stamp of the first entry that `pattern` finds; raises EAppError
// "ファイル (pattern) が見つかりません" when nothing matches.
void FindStamp(const std::string &pattern, int kind, std::string &nameFound, TTimeValue &value);
void GetStamp(const std::string &pattern, int kind, TTimeValue &value);

// The item's path relative to the folder part of the operand `operand`.
std::string RelativeItemPath(const std::string &operand, const std::string &item);

// The new value of one stamp (0 for unknown). May rewrite option.SourceFile.
// Raises EAppError or ESrcFileNotExist.
void ComputeNewStamp(const std::string &path, int readKind, TOption &option, TTimeValue &result);
