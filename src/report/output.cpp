#include "report/output.h"

#include "common/errors.h"
#include "platform/platform.h"

#include <string>

namespace {

std::string OutBuffer;
constexpr size_t OutBufferLimit = 64 * 1024;

void WriteRaw(TStream stream, std::string_view text) {
    if (!text.empty() && !Platform().WriteStream(stream, text.data(), text.size()))
        throw EStreamError("ファイルへの書き込みに失敗しました");
}

} // namespace

void FlushOut() {
    if (OutBuffer.empty())
        return;
    std::string pending;
    pending.swap(OutBuffer);
    WriteRaw(stdOutput, pending);
}

void WriteOut(std::string_view text) {
    OutBuffer.append(text);
    if (OutBuffer.size() >= OutBufferLimit)
        FlushOut();
}

void WriteOutLine(std::string_view text) {
    WriteOut(text);
    WriteOut(LineEnd);
}

void WriteErr(std::string_view text) {
    FlushOut();
    WriteRaw(stdError, text);
}

void WriteErrLine(std::string_view text) {
    std::string line(text);
    line += LineEnd;
    WriteErr(line);
}
