#include "report/output.h"

#include "common/errors.h"
#include "platform/platform.h"

#include <string>

namespace {

constexpr size_t BufferLimit = 64 * 1024;

void WriteRaw(TStream stream, std::string_view text) {
    if (!text.empty() && !Platform().WriteStream(stream, text.data(), text.size()))
        throw EStreamError("ファイルへの書き込みに失敗しました");
}

} // namespace

void TOutput::Flush() {
    if (Buffer.empty())
        return;
    std::string pending;
    pending.swap(Buffer);
    WriteRaw(stdOutput, pending);
}

void TOutput::Out(std::string_view text) {
    Buffer.append(text);
    if (Buffer.size() >= BufferLimit)
        Flush();
}

void TOutput::OutLine(std::string_view text) {
    Out(text);
    Out(LineEnd);
}

void TOutput::Err(std::string_view text) {
    Flush();
    WriteRaw(stdError, text);
}

void TOutput::ErrLine(std::string_view text) {
    std::string line(text);
    line += LineEnd;
    Err(line);
}
