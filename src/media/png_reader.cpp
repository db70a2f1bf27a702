// The Exif date of a PNG file: its eXIf chunk.

#include "media/media_date.h"

namespace {
constexpr unsigned MaxChunks = 8192; // chunks looked at, image data among them
} // namespace

TMediaResult ReadPngDate(TByteSource &source) {
    TMediaResult result;
    if (!source.Holds(0, "\x89PNG\r\n\x1A\n", 8))
        return result;
    result.Container = mcPng;
    result.Finding = mfBroken;
    uint64_t at = 8;
    for (unsigned chunk = 0; chunk < MaxChunks; ++chunk) {
        uint32_t length = 0;
        char type[4];
        if (!source.U32(at, false, length) || length > 0x7FFFFFFFu || !source.Read(at + 4, type, 4))
            return result;
        const uint64_t body = at + 8;
        if (!Within(body, uint64_t(length) + 4, source.Size()))
            return result; // cut, or a length beyond the end
        if (type[0] == 'e' && type[1] == 'X' && type[2] == 'I' && type[3] == 'f') {
            TWindowSource exif(source, body, length);
            const TMediaResult tiff = ReadTiffDate(exif);
            result.Finding = tiff.Container == mcTiff ? tiff.Finding : mfBroken;
            result.Date = tiff.Date;
            return result;
        }
        if (type[0] == 'I' && type[1] == 'E' && type[2] == 'N' && type[3] == 'D') {
            result.Finding = mfNoDate;
            return result;
        }
        at = body + length + 4; // past the CRC
    }
    return result;
}
