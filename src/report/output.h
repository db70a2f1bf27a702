#pragma once
// The standard streams. The standard output is buffered; whatever goes to the
// error stream first flushes it, so both appear in the order written. A failed
// write raises EStreamError.

#include <string>
#include <string_view>

void WriteOut(std::string_view text);
void WriteOutLine(std::string_view text); // text and the line end
void WriteErr(std::string_view text);
void WriteErrLine(std::string_view text);
void FlushOut();
