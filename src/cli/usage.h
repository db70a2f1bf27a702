#pragma once
// The usage screen with the stored default option; ends the run with exit
// code 255 by raising EAbort.

[[noreturn]] void ShowUsage();
