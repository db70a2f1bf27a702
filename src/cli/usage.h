#pragma once
// The usage screen and the version line.

#include "cli/option_sources.h"
#include "report/output.h"

// The usage screen with the default option stored under `regKey`; ends the
// run with the exit code given (255 for "-?" and an empty command line, 0
// for "--help") by raising EAbort.
[[noreturn]] void ShowUsage(const std::string &regKey, TOutput &output, int exitCode = 255);

// "kelvard" and the version on the standard output; ends the run with exit
// code 0 by raising EAbort.
[[noreturn]] void ShowVersion(TOutput &output);
