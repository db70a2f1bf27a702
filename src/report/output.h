#pragma once
// The standard streams of a run. The standard output is buffered; whatever
// goes to the error stream first flushes it, so both appear in the order
// written. Text reaches the standard output in whole lines, and a write that
// fails leaves none of its bytes in a regular file (the platform cuts them
// off again): what a run wrote before a failure ends with a whole line. A
// failed write raises EStreamError; the report lines it held, and those
// written after it, go to the error stream (restore lines never do).

#include "platform/platform.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// A line that may hold names goes out with OutLine or ErrLine: natively, on
// a terminal, each control character of the line (bytes 1 to 31 and 127,
// and the C1 controls U+0080 to U+009F) and each byte that starts no valid
// UTF-8 sequence shows as "?", so that no name can move the cursor or clear
// the screen; to a file or a pipe every byte goes as it is. Out and Err take
// text that names nothing.
//
// The Windows build shows every character on a console; to a file or a pipe
// it writes the system code page, each character the code page lacks as "?",
// or, after SetUtf8, UTF-8, the standard output then beginning with a byte
// order mark. The native build writes UTF-8 either way.
class TOutput {
public:
    void Out(std::string_view text);
    void OutLine(std::string_view text); // text and the line end
    // The parts as one line, put together where it waits to be written.
    void OutLine(std::initializer_list<std::string_view> parts);
    void Err(std::string_view text);
    void ErrLine(std::string_view text);
    // Text for the error stream that goes out before anything else does, in
    // the form in force then (the banner, written before the run knows -zu).
    void ErrBeforeAll(std::string_view text) { Pending.append(text); }
    void Flush();
    // The standard output holds restore lines: a failed write says that
    // what was written of them is incomplete.
    void SetRestoreLines(bool restoreLines) { RestoreLines = restoreLines; }
    // Both streams in UTF-8 from now on (-zu).
    void SetUtf8(bool utf8) { Utf8 = utf8; }
    // The characters of `text` that `stream` shows as "?" (none on a
    // console, in UTF-8 or natively).
    std::vector<uint32_t> Lacked(TStream stream, std::string_view text);

private:
    std::string Buffer;
    std::string Pending;
    bool RestoreLines = false;
    bool Utf8 = false;
    bool OutWritten = false; // the standard output got its first bytes
    bool OutFailed = false;  // a write of it failed: its lines go to the error stream
    // Whether each stream goes to a terminal, asked once: -1 not yet.
    int Terminal[2] = {-1, -1};
    bool ToTerminal(TStream stream);
    void Write(TStream stream, std::string_view text);
};

// `line` as a terminal shows it safely (see TOutput).
std::string SafeForTerminal(std::string_view line);

// The system's own text for an error code (its number where the system has
// no text); empty for 0.
std::string SystemReason(uint32_t code);
