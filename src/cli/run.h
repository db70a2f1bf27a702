#pragma once
// Running the program once.

#include <exception>

// Sets the start values, writes the banner, parses and runs every operand.
void RunProgram();
// Searches every entry of Operands in turn; an operand that selects nothing
// warns with -g and raises EAppError otherwise.
void RunOperands();
// The report for an error that the run does not handle; returns the exit code.
int ReportUnexpectedError(const std::exception_ptr &error);
