#include "report/output.h"

#include "common/errors.h"
#include "platform/platform.h"

#include <string>

namespace {

constexpr size_t BufferLimit = 64 * 1024;

void WriteRaw(TStream stream, std::string_view text, bool restoreLines) {
    if (text.empty() || Platform().WriteStream(stream, text.data(), text.size()))
        return;
    const std::string reason = SystemReason(Platform().LastErrorCode());
    if (stream == stdError)
        throw EStreamError("エラー出力に書き込めませんでした", "標準エラー出力: " + reason);
    throw EStreamError(restoreLines
                           ? "復元設定を書き込めませんでした。書き込まれた復元設定は不完全です"
                           : "出力を書き込めませんでした",
                       "標準出力: " + reason);
}

} // namespace

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
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(line[k]); };
    for (size_t i = 0; i < line.size();) {
        const unsigned char lead = byte(i);
        size_t length = lead < 0x80   ? 1
                        : lead < 0xC2 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4
                                      : 0;
        bool control = length == 1 && (lead < 0x20 || lead == 0x7F);
        if (length > 1) {
            // The second byte's range excludes overlong forms, surrogates and
            // values past U+10FFFF.
            const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            bool valid = i + length <= line.size() && byte(i + 1) >= low && byte(i + 1) <= high;
            for (size_t k = i + 2; valid && k < i + length; ++k)
                valid = byte(k) >= 0x80 && byte(k) <= 0xBF;
            if (!valid)
                length = 0;
            // C2 80 to C2 9F: the C1 controls, one character each.
            control = valid && lead == 0xC2 && byte(i + 1) <= 0x9F;
        }
        if (length == 0 || control) {
            shown += '?';
            i += length == 0 ? 1 : length;
        } else {
            shown.append(line.substr(i, length));
            i += length;
        }
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
    if (Buffer.empty())
        return;
    // Given up on a failure: the error that tells it goes out next.
    std::string pending;
    pending.swap(Buffer);
    WriteRaw(stdOutput, pending, RestoreLines);
}

void TOutput::Out(std::string_view text) {
    Buffer.append(text);
    if (Buffer.size() >= BufferLimit)
        Flush();
}

void TOutput::OutLine(std::string_view text) {
    // Both before a flush: a line is never split between two writes.
    if (!HasDriveSyntax && ToTerminal(stdOutput))
        Buffer.append(SafeForTerminal(text));
    else
        Buffer.append(text);
    Buffer.append(LineEnd);
    if (Buffer.size() >= BufferLimit)
        Flush();
}

void TOutput::Err(std::string_view text) {
    Flush();
    WriteRaw(stdError, text, RestoreLines);
}

void TOutput::ErrLine(std::string_view text) {
    std::string line =
        !HasDriveSyntax && ToTerminal(stdError) ? SafeForTerminal(text) : std::string(text);
    line += LineEnd;
    Err(line);
}
