// The Exif date of a HEIF or AVIF image: the item of type "Exif" that the
// meta box's iinf names, found where its iloc places it. Its payload starts
// with a 4-byte offset to the TIFF header.

#include "media/bmff_box.h"
#include "media/media_date.h"

namespace {

constexpr unsigned MaxBoxes = 1024; // boxes looked at on one level
constexpr uint32_t MaxItems = 4096; // items of iinf and iloc looked at
constexpr uint16_t MaxExtents = 64; // extents of one item

// The Exif item's ID from iinf; false where it is cut or has none.
bool FindExifItem(TByteSource &source, const TBox &iinf, uint32_t &id, bool &broken) {
    uint8_t version = 0;
    uint64_t count = 0;
    if (!source.U8(iinf.Body, version) ||
        !ReadSized(source, iinf.Body + 4, version == 0 ? 2 : 4, count)) {
        broken = true;
        return false;
    }
    uint64_t at = iinf.Body + 4 + (version == 0 ? 2 : 4);
    for (uint64_t i = 0; i < count && i < MaxItems && at < iinf.End; ++i) {
        TBox infe;
        if (!ReadBox(source, at, iinf.End, infe)) {
            broken = true;
            return false;
        }
        at = infe.End;
        uint8_t infeVersion = 0;
        if (!infe.Is("infe") || !source.U8(infe.Body, infeVersion) || infeVersion < 2)
            continue; // the older forms name no item type
        const unsigned idSize = infeVersion == 2 ? 2 : 4;
        uint64_t itemId = 0;
        char type[4];
        if (!Within(infe.Body + 4, idSize + 6, infe.End) ||
            !ReadSized(source, infe.Body + 4, idSize, itemId) ||
            !source.Read(infe.Body + 4 + idSize + 2, type, 4)) {
            broken = true;
            return false;
        }
        if (std::memcmp(type, "Exif", 4) == 0) {
            id = uint32_t(itemId);
            return true;
        }
    }
    return false;
}

// Where the item `id` lies, by iloc: its first extent, as an offset in the
// file (construction method 0) or in the idat box (1).
bool LocateItem(TByteSource &source, const TBox &iloc, uint32_t id, uint64_t &offset,
                uint64_t &length, unsigned &method, bool &broken) {
    broken = true;
    uint8_t version = 0, sizes = 0, sizes2 = 0;
    if (!source.U8(iloc.Body, version) || version > 2 || !source.U8(iloc.Body + 4, sizes) ||
        !source.U8(iloc.Body + 5, sizes2))
        return false;
    const unsigned offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = sizes2 >> 4;
    const unsigned indexSize = version >= 1 ? sizes2 & 15 : 0;
    for (unsigned size : {offsetSize, lengthSize, baseSize, indexSize})
        if (size != 0 && size != 4 && size != 8)
            return false;
    const unsigned idSize = version == 2 ? 4 : 2;
    uint64_t count = 0;
    if (!ReadSized(source, iloc.Body + 6, idSize, count))
        return false;
    uint64_t at = iloc.Body + 6 + idSize;
    for (uint64_t i = 0; i < count && i < MaxItems; ++i) {
        uint64_t itemId = 0, construction = 0, base = 0, extents = 0;
        if (!ReadSized(source, at, idSize, itemId))
            return false;
        at += idSize;
        if (version >= 1) {
            if (!ReadSized(source, at, 2, construction))
                return false;
            construction &= 15;
            at += 2;
        }
        at += 2; // data reference index
        if (!ReadSized(source, at, baseSize, base) || !ReadSized(source, at + baseSize, 2, extents))
            return false;
        at += baseSize + 2;
        if (extents > MaxExtents || !Within(iloc.Body, at - iloc.Body, iloc.End))
            return false;
        for (uint64_t e = 0; e < extents; ++e) {
            uint64_t extentOffset = 0, extentLength = 0;
            at += indexSize;
            if (!ReadSized(source, at, offsetSize, extentOffset) ||
                !ReadSized(source, at + offsetSize, lengthSize, extentLength))
                return false;
            at += offsetSize + lengthSize;
            if (itemId == id && e == 0) {
                if (extentOffset > UINT64_MAX - base || construction > 1)
                    return false;
                offset = base + extentOffset;
                length = extentLength;
                method = unsigned(construction);
            }
        }
        if (!Within(iloc.Body, at - iloc.Body, iloc.End))
            return false;
        if (itemId == id) {
            broken = extents == 0;
            return !broken;
        }
    }
    broken = false;
    return false;
}

} // namespace

TMediaResult ReadHeifDate(TByteSource &source) {
    TMediaResult result;
    const uint64_t end = source.Size();
    TBox ftyp;
    if (!ReadBox(source, 0, end, ftyp) || !ftyp.Is("ftyp") ||
        !HasBrand(source, ftyp, HeifBrands, HeifBrandCount))
        return result;
    result.Container = mcHeif;
    result.Finding = mfBroken;
    TBox meta;
    bool found = false;
    uint64_t at = ftyp.End;
    for (unsigned i = 0; i < MaxBoxes && at < end && !found; ++i) {
        TBox box;
        if (!ReadBox(source, at, end, box))
            return result;
        found = box.Is("meta");
        if (found)
            meta = box;
        at = box.End;
    }
    if (!found) {
        result.Finding = at >= end ? mfNoDate : mfBroken;
        return result;
    }
    TBox iinf, iloc, idat;
    bool hasIinf = false, hasIloc = false, hasIdat = false;
    at = meta.Body + 4; // a full box: version and flags first
    for (unsigned i = 0; i < MaxBoxes && at < meta.End; ++i) {
        TBox box;
        if (!ReadBox(source, at, meta.End, box))
            return result;
        if (box.Is("iinf") && !hasIinf) {
            iinf = box;
            hasIinf = true;
        } else if (box.Is("iloc") && !hasIloc) {
            iloc = box;
            hasIloc = true;
        } else if (box.Is("idat") && !hasIdat) {
            idat = box;
            hasIdat = true;
        }
        at = box.End;
    }
    bool broken = false;
    uint32_t id = 0;
    if (!hasIinf || !FindExifItem(source, iinf, id, broken)) {
        result.Finding = broken ? mfBroken : mfNoDate;
        return result;
    }
    uint64_t offset = 0, length = 0;
    unsigned method = 0;
    if (!hasIloc || !LocateItem(source, iloc, id, offset, length, method, broken)) {
        result.Finding = mfBroken;
        return result;
    }
    uint64_t start = offset;
    uint64_t limit = end;
    if (method == 1) {
        if (!hasIdat || offset > idat.End - idat.Body)
            return result;
        start = idat.Body + offset;
        limit = idat.End;
    }
    if (length == 0) // to the end of what holds it
        length = limit - start;
    if (!Within(start, length, limit) || length < 4)
        return result;
    uint32_t headerOffset = 0;
    if (!source.U32(start, false, headerOffset) || headerOffset > length - 4)
        return result;
    TWindowSource exif(source, start + 4 + headerOffset, length - 4 - headerOffset);
    const TMediaResult tiff = ReadTiffDate(exif);
    result.Finding = tiff.Container == mcTiff ? tiff.Finding : mfBroken;
    result.Date = tiff.Date;
    return result;
}
