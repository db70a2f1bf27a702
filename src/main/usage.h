#pragma once
// The usage screen; ends the run with exit code 255.

[[noreturn]] void ShowUsage();
