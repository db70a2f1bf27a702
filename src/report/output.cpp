#include "report/output.h"

#include "common/errors.h"
#include "common/text.h"
#include "platform/platform.h"

#include <string>

namespace {

constexpr size_t BufferLimit = 64 * 1024;
const char *const ByteOrderMark = "\xEF\xBB\xBF";

} // namespace

void TOutput::Write(TStream stream, std::string_view text) {
    // A file or a pipe that gets UTF-8 says so at its start.
    std::string marked;
    if (stream == stdOutput && !text.empty() && !OutWritten) {
        OutWritten = true;
        if (StreamsInCodePage && Utf8 && !ToTerminal(stdOutput)) {
            marked = ByteOrderMark + std::string(text);
            text = marked;
        }
    }
    if (text.empty() || Platform().WriteText(stream, text.data(), text.size(), Utf8))
        return;
    const std::string reason = SystemReason(Platform().LastErrorCode());
    if (stream == stdError)
        throw EStreamError("エラー出力に書き込めませんでした", "標準エラー出力: " + reason);
    // The report that could not be written goes to the error stream, now
    // and from now on: every item changed is still named somewhere. Restore
    // lines are no report: they are only ever written where they were asked for.
    if (!RestoreLines) {
        OutFailed = true;
        Write(stdError, text);
    }
    throw EStreamError(RestoreLines
                           ? "復元設定を書き込めませんでした。書き込まれた復元設定は不完全です"
                           : "出力を書き込めませんでした",
                       "標準出力: " + reason);
}

std::vector<uint32_t> TOutput::Lacked(TStream stream, std::string_view text) {
    std::vector<uint32_t> lacked;
    if (!Utf8 && !ToTerminal(stream))
        Platform().ToCodePage(std::string(text), &lacked);
    return lacked;
}

std::string SystemReason(uint32_t code) {
    if (code == 0)
        return std::string();
    const std::string text = Platform().ErrorText(code);
    return text.empty() ? "エラー コード " + std::to_string(code) : text;
}

std::string SafeForTerminal(std::string_view line) {
    if constexpr (HasDriveSyntax)
        return std::string(line);
    std::string shown;
    shown.reserve(line.size());
    for (size_t i = 0; i < line.size();) {
        uint32_t c = 0;
        size_t length = 1;
        const bool valid = DecodeUtf8(line, i, c, length);
        // A byte that starts no sequence, a C0 control, DEL and the C1 controls.
        if (!valid || c < 0x20 || (c >= 0x7F && c <= 0x9F))
            shown += '?';
        else
            shown.append(line.substr(i, length));
        i += length;
    }
    return shown;
}

bool TOutput::ToTerminal(TStream stream) {
    int &known = Terminal[stream == stdOutput ? 0 : 1];
    if (known < 0)
        known = Platform().IsTerminal(stream) ? 1 : 0;
    return known == 1;
}

void TOutput::Flush() {
    if (!Pending.empty()) {
        std::string first;
        first.swap(Pending);
        Write(stdError, first);
    }
    if (Buffer.empty())
        return;
    // Given up on a failure: the error that tells it goes out next.
    std::string lines;
    lines.swap(Buffer);
    Write(stdOutput, lines);
}

void TOutput::Out(std::string_view text) {
    if (OutFailed) {
        Err(text);
        return;
    }
    Buffer.append(text);
    if (Buffer.size() >= BufferLimit)
        Flush();
}

void TOutput::OutLine(std::string_view text) {
    if (OutFailed) {
        ErrLine(text);
        return;
    }
    // Both before a flush: a line is never split between two writes. A long
    // line (a deep tree's path) takes the room it needs, no more.
    const size_t lineEnd = std::char_traits<char>::length(LineEnd);
    if (!HasDriveSyntax && ToTerminal(stdOutput)) {
        const std::string shown = SafeForTerminal(text);
        Buffer.reserve(Buffer.size() + shown.size() + lineEnd);
        Buffer.append(shown);
    } else {
        Buffer.reserve(Buffer.size() + text.size() + lineEnd);
        Buffer.append(text);
    }
    Buffer.append(LineEnd);
    if (Buffer.size() >= BufferLimit)
        Flush();
}

void TOutput::OutLine(std::initializer_list<std::string_view> parts) {
    size_t size = 0;
    for (std::string_view part : parts)
        size += part.size();
    if (OutFailed || (!HasDriveSyntax && ToTerminal(stdOutput))) {
        std::string line;
        line.reserve(size);
        for (std::string_view part : parts)
            line.append(part);
        OutLine(line);
        return;
    }
    Buffer.reserve(Buffer.size() + size + std::char_traits<char>::length(LineEnd));
    for (std::string_view part : parts)
        Buffer.append(part);
    Buffer.append(LineEnd);
    if (Buffer.size() >= BufferLimit)
        Flush();
}

void TOutput::Err(std::string_view text) {
    Flush();
    Write(stdError, text);
}

void TOutput::ErrLine(std::string_view text) {
    std::string line =
        !HasDriveSyntax && ToTerminal(stdError) ? SafeForTerminal(text) : std::string(text);
    line += LineEnd;
    Err(line);
}
