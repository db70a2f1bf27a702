#pragma once
// Boxes of the ISO base media file format (QuickTime, MP4, HEIF): a header
// of a 32-bit size (1: a 64-bit size follows, 0: to the end of what holds the
// box) and a type, each box read by its header alone.

#include "media/byte_source.h"

#include <cstdint>
#include <cstring>

struct TBox {
    uint64_t Start = 0; // the header
    uint64_t Body = 0;  // what follows the header
    uint64_t End = 0;   // past the box
    char Type[4] = {};
    bool Is(const char *type) const { return std::memcmp(Type, type, 4) == 0; }
};

// The box at `at`, which must end by `end`; false where its header is cut
// or its size is smaller than its header or runs past `end`.
inline bool ReadBox(TByteSource &source, uint64_t at, uint64_t end, TBox &box) {
    uint32_t size32 = 0;
    if (!Within(at, 8, end) || !source.U32(at, false, size32) || !source.Read(at + 4, box.Type, 4))
        return false;
    box.Start = at;
    uint64_t size = size32;
    uint64_t header = 8;
    if (size32 == 1) {
        if (!Within(at, 16, end) || !source.U64(at + 8, false, size))
            return false;
        header = 16;
    } else if (size32 == 0) {
        size = end - at;
    }
    if (size < header || !Within(at, size, end))
        return false;
    box.Body = at + header;
    box.End = at + size;
    return true;
}

// An unsigned number of 0, 2, 4 or 8 bytes, big-endian.
inline bool ReadSized(TByteSource &source, uint64_t at, unsigned bytes, uint64_t &value) {
    value = 0;
    if (bytes == 0)
        return true;
    if (bytes == 2) {
        uint16_t v = 0;
        if (!source.U16(at, false, v))
            return false;
        value = v;
        return true;
    }
    if (bytes == 4) {
        uint32_t v = 0;
        if (!source.U32(at, false, v))
            return false;
        value = v;
        return true;
    }
    return bytes == 8 && source.U64(at, false, value);
}

// The major and compatible brands of a file type box include one of `brands`
// (each four characters, one after the other, `count` of them).
inline bool HasBrand(TByteSource &source, const TBox &ftyp, const char *brands, unsigned count) {
    constexpr unsigned MaxBrands = 64;
    const auto matches = [&](uint64_t at) {
        char brand[4];
        if (!source.Read(at, brand, 4))
            return false;
        for (unsigned i = 0; i < count; ++i)
            if (std::memcmp(brand, brands + 4 * i, 4) == 0)
                return true;
        return false;
    };
    if (Within(ftyp.Body, 4, ftyp.End) && matches(ftyp.Body))
        return true;
    // After the major brand and its minor version, the compatible brands.
    uint64_t at = ftyp.Body + 8;
    for (unsigned i = 0; i < MaxBrands && Within(at, 4, ftyp.End); ++i, at += 4)
        if (matches(at))
            return true;
    return false;
}

// The brands of HEIF and AVIF images.
inline constexpr const char HeifBrands[] = "heicheixheimheishevchevxmif1msf1avifavis";
inline constexpr unsigned HeifBrandCount = 10;
