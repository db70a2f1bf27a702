#pragma once
// Running the program once.

#include <exception>

// Sets the start values, writes the banner, parses and runs every operand;
// gives the exit code.
int RunProgram();
// The report for an error that the run does not handle; returns the exit code.
int ReportUnexpectedError(const std::exception_ptr &error);
