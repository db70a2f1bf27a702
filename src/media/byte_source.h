#pragma once
// Bytes of a file that a media reader takes apart: read at an offset, a few at
// a time, never more than a reader asks for. Every read is checked against the
// end: a reader never sees bytes that are not there.

#include <cstddef>
#include <cstdint>

class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual uint64_t Size() const = 0;
    // All `size` bytes at `offset`, or false (past the end, or the read failed).
    virtual bool Read(uint64_t offset, void *buffer, size_t size) = 0;

    // Numbers in either byte order; false where the bytes are not there.
    bool U8(uint64_t offset, uint8_t &value);
    bool U16(uint64_t offset, bool little, uint16_t &value);
    bool U32(uint64_t offset, bool little, uint32_t &value);
    bool U64(uint64_t offset, bool little, uint64_t &value);
    // Whether the bytes at `offset` are exactly `text` (its length).
    bool Holds(uint64_t offset, const char *text, size_t size);
};

// Bytes in memory.
class TMemorySource : public TByteSource {
public:
    TMemorySource(const void *data, size_t size)
        : Data(static_cast<const uint8_t *>(data)), Length(size) {}
    uint64_t Size() const override { return Length; }
    bool Read(uint64_t offset, void *buffer, size_t size) override;

private:
    const uint8_t *Data;
    size_t Length;
};

// A part of another source, its offset 0 at `start` there; it ends where
// that source ends, whatever length it is given.
class TWindowSource : public TByteSource {
public:
    TWindowSource(TByteSource &base, uint64_t start, uint64_t length);
    uint64_t Size() const override { return Length; }
    bool Read(uint64_t offset, void *buffer, size_t size) override;

private:
    TByteSource &Base;
    uint64_t Start;
    uint64_t Length;
};

// Whether [offset, offset + size) lies within `total`, without overflow.
inline bool Within(uint64_t offset, uint64_t size, uint64_t total) {
    return offset <= total && size <= total - offset;
}
