#include "media/byte_source.h"

#include <cstring>

bool TByteSource::U8(uint64_t offset, uint8_t &value) {
    return Read(offset, &value, 1);
}

bool TByteSource::U16(uint64_t offset, bool little, uint16_t &value) {
    uint8_t b[2];
    if (!Read(offset, b, 2))
        return false;
    value = little ? uint16_t(b[0] | b[1] << 8) : uint16_t(b[0] << 8 | b[1]);
    return true;
}

bool TByteSource::U32(uint64_t offset, bool little, uint32_t &value) {
    uint8_t b[4];
    if (!Read(offset, b, 4))
        return false;
    value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(b[i]) << (little ? 8 * i : 8 * (3 - i));
    return true;
}

bool TByteSource::U64(uint64_t offset, bool little, uint64_t &value) {
    uint8_t b[8];
    if (!Read(offset, b, 8))
        return false;
    value = 0;
    for (int i = 0; i < 8; ++i)
        value |= uint64_t(b[i]) << (little ? 8 * i : 8 * (7 - i));
    return true;
}

bool TByteSource::Holds(uint64_t offset, const char *text, size_t size) {
    uint8_t b[16];
    if (size > sizeof b || !Read(offset, b, size))
        return false;
    return std::memcmp(b, text, size) == 0;
}

bool TMemorySource::Read(uint64_t offset, void *buffer, size_t size) {
    if (!Within(offset, size, Length))
        return false;
    if (size != 0)
        std::memcpy(buffer, Data + offset, size);
    return true;
}

TWindowSource::TWindowSource(TByteSource &base, uint64_t start, uint64_t length)
    : Base(base), Start(start), Length(0) {
    const uint64_t total = base.Size();
    if (start <= total)
        Length = length < total - start ? length : total - start;
}

bool TWindowSource::Read(uint64_t offset, void *buffer, size_t size) {
    return Within(offset, size, Length) && Base.Read(Start + offset, buffer, size);
}
