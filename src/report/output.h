#pragma once
// The standard streams of a run. The standard output is buffered; whatever
// goes to the error stream first flushes it, so both appear in the order
// written. A failed write raises EStreamError.

#include <string>
#include <string_view>

class TOutput {
public:
    void Out(std::string_view text);
    void OutLine(std::string_view text); // text and the line end
    void Err(std::string_view text);
    void ErrLine(std::string_view text);
    void Flush();

private:
    std::string Buffer;
};
