#pragma once
// The usage screen with the stored default option; ends the run with the
// exit code given (255 for "-?" and an empty command line, 0 for "--help")
// by raising EAbort.
[[noreturn]] void ShowUsage(int exitCode = 255);

// "kelvard" and the version on the standard output; ends the run with exit
// code 0 by raising EAbort.
[[noreturn]] void ShowVersion();
