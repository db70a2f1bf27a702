// The Exif dates of a TIFF structure: a TIFF file or a raw format built on
// it, or the Exif block that JPEG, PNG, WebP and HEIF files carry.

#include "media/media_date.h"

#include <cstring>

namespace {

// Bounds that end a chain of IFDs that loops or runs on.
constexpr unsigned MaxIfds = 8;          // IFD0 and those chained after it
constexpr unsigned MaxIfdEntries = 1024; // entries of one IFD that are looked at
constexpr uint16_t TagExifIfd = 0x8769;
constexpr uint16_t TagDateOriginal = 0x9003;
constexpr uint16_t TagDateDigitized = 0x9004;
constexpr uint16_t TagOffsetOriginal = 0x9011;
constexpr uint16_t TagOffsetDigitized = 0x9012;
constexpr uint16_t TagSubSecOriginal = 0x9291;
constexpr uint16_t TagSubSecDigitized = 0x9292;
constexpr uint16_t TypeAscii = 2, TypeLong = 4, TypeIfd = 13;

struct TEntry {
    uint16_t Tag = 0, Type = 0;
    uint32_t Count = 0;
    uint64_t Where = 0; // the entry's value field
};

class TTiff {
public:
    TTiff(TByteSource &source, bool little) : Source(source), Little(little) {}

    // The entry count of the IFD at `offset`; false where it is cut or too long.
    bool Count(uint32_t offset, uint16_t &count) {
        return Source.U16(offset, Little, count) && count <= MaxIfdEntries &&
               Within(uint64_t(offset) + 2, uint64_t(count) * 12 + 4, Source.Size());
    }
    bool Entry(uint32_t ifd, unsigned index, TEntry &entry) {
        const uint64_t at = uint64_t(ifd) + 2 + uint64_t(index) * 12;
        entry.Where = at + 8;
        return Source.U16(at, Little, entry.Tag) && Source.U16(at + 2, Little, entry.Type) &&
               Source.U32(at + 4, Little, entry.Count);
    }
    bool Next(uint32_t ifd, uint16_t count, uint32_t &next) {
        return Source.U32(uint64_t(ifd) + 2 + uint64_t(count) * 12, Little, next);
    }
    // A LONG (or IFD) value of count 1.
    bool Long(const TEntry &entry, uint32_t &value) {
        return (entry.Type == TypeLong || entry.Type == TypeIfd) && entry.Count == 1 &&
               Source.U32(entry.Where, Little, value);
    }
    // An ASCII value, at most `limit` bytes of it (a longer one is no value
    // the program takes); `size` gets its length up to its first NUL.
    bool Ascii(const TEntry &entry, char *text, size_t limit, size_t &size) {
        if (entry.Type != TypeAscii || entry.Count == 0 || entry.Count > limit)
            return false;
        uint64_t at = entry.Where;
        if (entry.Count > 4) {
            uint32_t offset = 0;
            if (!Source.U32(entry.Where, Little, offset))
                return false;
            at = offset;
        }
        if (!Source.Read(at, text, entry.Count))
            return false;
        const void *nul = std::memchr(text, 0, entry.Count);
        size = nul ? size_t(static_cast<const char *>(nul) - text) : entry.Count;
        return true;
    }

private:
    TByteSource &Source;
    bool Little;
};

// The seconds' fraction of a SubSecTime text ("57" is 0.57 s) in ticks;
// false where the text holds anything but digits (blanks after them aside).
bool ReadSubSeconds(const char *text, size_t size, uint32_t &fraction) {
    while (size > 0 && text[size - 1] == ' ')
        --size;
    if (size == 0)
        return false;
    fraction = 0;
    uint32_t scale = 1000000;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        if (i < 7) {
            fraction += uint32_t(text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return true;
}

bool IsLeap(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysIn(unsigned year, unsigned month) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// The digits at text[0..count) as a number; false where one is not a digit.
bool Digits(const char *text, unsigned count, unsigned &value) {
    value = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    return true;
}

} // namespace

bool ReadExifDateText(const char *text, size_t size, TTimeParts &parts) {
    if (size < 19)
        return false;
    // Date parts apart with ":" as the standard writes them (some writers
    // put "-" or "/"); the time after a blank or "T".
    const auto dateSeparator = [](char c) { return c == ':' || c == '-' || c == '/'; };
    if (!dateSeparator(text[4]) || text[7] != text[4] || (text[10] != ' ' && text[10] != 'T') ||
        text[13] != ':' || text[16] != ':')
        return false;
    unsigned year, month, day, hour, minute, second;
    if (!Digits(text, 4, year) || !Digits(text + 5, 2, month) || !Digits(text + 8, 2, day) ||
        !Digits(text + 11, 2, hour) || !Digits(text + 14, 2, minute) ||
        !Digits(text + 17, 2, second))
        return false; // all blank, or not a date
    // Before 1601 no stamp can be (and "0000:00:00 00:00:00" is no date).
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysIn(year, month) ||
        hour > 23 || minute > 59 || second > 59)
        return false;
    parts = MakeParts(year, month, day, hour, minute, second);
    return true;
}

bool ReadExifOffsetText(const char *text, size_t size, int32_t &minutes) {
    while (size > 0 && text[size - 1] == ' ')
        --size;
    if (size == 1 && text[0] == 'Z') {
        minutes = 0;
        return true;
    }
    unsigned hours, mins;
    if (size != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' ||
        !Digits(text + 1, 2, hours) || !Digits(text + 4, 2, mins) || hours > 14 || mins > 59 ||
        hours * 60 + mins > 14 * 60)
        return false;
    minutes = int32_t(hours * 60 + mins) * (text[0] == '-' ? -1 : 1);
    return true;
}

TMediaResult ReadTiffDate(TByteSource &source) {
    TMediaResult result;
    uint8_t head[4];
    if (!source.Read(0, head, 4))
        return result;
    bool little;
    if (head[0] == 'I' && head[1] == 'I')
        little = true;
    else if (head[0] == 'M' && head[1] == 'M')
        little = false;
    else
        return result;
    // 42; the raw formats that change it: ORF ("RO", "RS"), RW2 (0x55).
    uint16_t magic = 0;
    source.U16(2, little, magic);
    if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x55)
        return result;
    result.Container = mcTiff;
    result.Finding = mfBroken;
    TTiff tiff(source, little);
    uint32_t ifd = 0;
    if (!source.U32(4, little, ifd))
        return result;

    // The Exif IFD, from IFD0 or an IFD chained after it.
    uint32_t exifIfd = 0;
    uint32_t seen[MaxIfds] = {};
    unsigned ifds = 0;
    while (exifIfd == 0 && ifd != 0) {
        for (unsigned i = 0; i < ifds; ++i)
            if (seen[i] == ifd)
                return result; // a loop
        if (ifds == MaxIfds)
            break;
        seen[ifds++] = ifd;
        uint16_t count = 0;
        if (!tiff.Count(ifd, count))
            return result;
        for (unsigned i = 0; i < count && exifIfd == 0; ++i) {
            TEntry entry;
            if (!tiff.Entry(ifd, i, entry))
                return result;
            if (entry.Tag == TagExifIfd && (!tiff.Long(entry, exifIfd) || exifIfd == 0))
                return result;
        }
        if (exifIfd == 0 && !tiff.Next(ifd, count, ifd))
            return result;
    }
    if (exifIfd == 0) {
        result.Finding = mfNoDate;
        return result;
    }

    uint16_t count = 0;
    if (!tiff.Count(exifIfd, count))
        return result;
    bool hasDate[2] = {false, false}, hasOffset[2] = {false, false}, hasSub[2] = {false, false};
    TTimeParts dates[2];
    int32_t offsets[2] = {0, 0};
    uint32_t fractions[2] = {0, 0};
    for (unsigned i = 0; i < count; ++i) {
        TEntry entry;
        if (!tiff.Entry(exifIfd, i, entry))
            return result;
        char text[64];
        size_t size = 0;
        switch (entry.Tag) {
        case TagDateOriginal:
        case TagDateDigitized: {
            const int which = entry.Tag == TagDateOriginal ? 0 : 1;
            hasDate[which] = tiff.Ascii(entry, text, sizeof text, size) &&
                             ReadExifDateText(text, size, dates[which]);
            break;
        }
        case TagOffsetOriginal:
        case TagOffsetDigitized: {
            const int which = entry.Tag == TagOffsetOriginal ? 0 : 1;
            hasOffset[which] = tiff.Ascii(entry, text, sizeof text, size) &&
                               ReadExifOffsetText(text, size, offsets[which]);
            break;
        }
        case TagSubSecOriginal:
        case TagSubSecDigitized: {
            const int which = entry.Tag == TagSubSecOriginal ? 0 : 1;
            hasSub[which] = tiff.Ascii(entry, text, sizeof text, size) &&
                            ReadSubSeconds(text, size, fractions[which]);
            break;
        }
        default:
            break;
        }
    }
    const int which = hasDate[0] ? 0 : hasDate[1] ? 1 : -1;
    if (which < 0) {
        result.Finding = mfNoDate;
        return result;
    }
    result.Finding = mfFound;
    TMediaDate &date = result.Date;
    date.Origin = which == 0 ? moExifOriginal : moExifDigitized;
    date.Parts = dates[which];
    if (hasSub[which])
        date.Parts.Fraction = fractions[which];
    date.HasOffset = hasOffset[which];
    date.OffsetMinutes = offsets[which];
    return result;
}
