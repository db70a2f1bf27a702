#pragma once
// Stamping a folder through the helper program (Windows 9x family).

#include "sub/timevalue.h"

#include <string>

inline constexpr int HelperActions[3] = {3, 7, 5};
inline constexpr const char *HelperFileName = "Folvane.exe";

// The argument text for the helper: "\"path\" action date time count".
std::string HelperArguments(const std::string &path, TTimeValue value, int kind);
// True when the helper could be started; returns after it has ended.
bool StampFolderByHelper(const std::string &path, TTimeValue value, int kind);
