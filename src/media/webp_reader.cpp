// The Exif date of a WebP file: its EXIF chunk.

#include "media/media_date.h"

namespace {
constexpr unsigned MaxChunks = 1024;
} // namespace

TMediaResult ReadWebPDate(TByteSource &source) {
    TMediaResult result;
    if (!source.Holds(0, "RIFF", 4) || !source.Holds(8, "WEBP", 4))
        return result;
    result.Container = mcWebP;
    result.Finding = mfBroken;
    uint32_t riffSize = 0;
    source.U32(4, true, riffSize);
    // The chunks end where the RIFF form ends, or the file does.
    const uint64_t end =
        Within(8, riffSize, source.Size()) ? 8 + uint64_t(riffSize) : source.Size();
    uint64_t at = 12;
    for (unsigned chunk = 0; chunk < MaxChunks && at < end; ++chunk) {
        char type[4];
        uint32_t length = 0;
        if (!source.Read(at, type, 4) || !source.U32(at + 4, true, length))
            return result;
        const uint64_t body = at + 8;
        if (!Within(body, length, end))
            return result;
        if (type[0] == 'E' && type[1] == 'X' && type[2] == 'I' && type[3] == 'F') {
            // Some writers keep the JPEG segment's "Exif\0\0" before the TIFF header.
            const uint64_t skip = length >= 6 && source.Holds(body, "Exif\0\0", 6) ? 6 : 0;
            TWindowSource exif(source, body + skip, length - skip);
            const TMediaResult tiff = ReadTiffDate(exif);
            result.Finding = tiff.Container == mcTiff ? tiff.Finding : mfBroken;
            result.Date = tiff.Date;
            return result;
        }
        at = body + length + (length & 1);
    }
    result.Finding = mfNoDate;
    return result;
}
