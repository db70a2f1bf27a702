#pragma once
// The form of a switch, shared by the option sources, the parser and -DefOpt.

#include "platform/platform.h"

#include <string>
#include <vector>

// Characters that start a switch: "-" everywhere, "/" too where it is no path
// separator.
inline constexpr bool SlashStartsSwitch = PathSeparator != '/';
inline bool IsSwitchPrefix(char c) {
    return c == '-' || (SlashStartsSwitch && c == '/');
}

// The native build follows the conventions of POSIX tools as well: "--help"
// and "--version" on the command line, and "--" ending the switches.
inline constexpr bool PosixCommandLine = PathSeparator == '/';

// Splits combined switches such as "-ixg" into "-i", "-x", "-g"; only the
// letters a, c, e, g, i, r, v, w and x are split off.
std::vector<std::string> SplitCombinedSwitches(const std::vector<std::string> &tokens);
