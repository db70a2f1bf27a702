#pragma once
// The standard streams of a run. The standard output is buffered; whatever
// goes to the error stream first flushes it, so both appear in the order
// written. Text reaches the standard output in whole lines, and a write that
// fails leaves none of its bytes in a regular file (the platform cuts them
// off again): what a run wrote before a failure ends with a whole line. A
// failed write raises EStreamError.

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

// A line that may hold names goes out with OutLine or ErrLine: natively, on
// a terminal, each control character of the line (bytes 1 to 31 and 127,
// and the C1 controls U+0080 to U+009F) and each byte that starts no valid
// UTF-8 sequence shows as "?", so that no name can move the cursor or clear
// the screen; to a file or a pipe every byte goes as it is. Out and Err take
// text that names nothing.
class TOutput {
public:
    void Out(std::string_view text);
    void OutLine(std::string_view text); // text and the line end
    void Err(std::string_view text);
    void ErrLine(std::string_view text);
    void Flush();
    // The standard output holds restore lines: a failed write says that
    // what was written of them is incomplete.
    void SetRestoreLines(bool restoreLines) { RestoreLines = restoreLines; }

private:
    std::string Buffer;
    bool RestoreLines = false;
    // Whether each stream goes to a terminal, asked once: -1 not yet.
    int Terminal[2] = {-1, -1};
    bool ToTerminal(TStream stream);
};

// `line` as a terminal shows it safely (see TOutput).
std::string SafeForTerminal(std::string_view line);

// The system's own text for an error code (its number where the system has
// no text); empty for 0.
std::string SystemReason(uint32_t code);
