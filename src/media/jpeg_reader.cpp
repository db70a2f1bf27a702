// The Exif date of a JPEG file: the APP1 segment "Exif\0\0" before the scan.

#include "media/media_date.h"

namespace {
constexpr unsigned MaxSegments = 1024; // segments looked at before the scan
constexpr unsigned MaxFill = 64;       // fill bytes 0xFF before one marker
} // namespace

TMediaResult ReadJpegDate(TByteSource &source) {
    TMediaResult result;
    if (!source.Holds(0, "\xFF\xD8\xFF", 3))
        return result;
    result.Container = mcJpeg;
    bool broken = false;
    uint64_t at = 2;
    for (unsigned segment = 0; segment < MaxSegments; ++segment) {
        uint8_t byte = 0;
        if (!source.U8(at, byte) || byte != 0xFF) {
            broken = true;
            break;
        }
        uint8_t marker = 0xFF;
        for (unsigned fill = 0; marker == 0xFF && fill < MaxFill; ++fill)
            if (!source.U8(++at, marker))
                break;
        ++at; // past the marker
        if (marker == 0xFF) {
            broken = true;
            break;
        }
        if (marker == 0xD9 || marker == 0xDA)
            break; // the end, or the scan: no Exif after it
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue; // markers without a length
        uint16_t length = 0;
        if (!source.U16(at, false, length) || length < 2) {
            broken = true;
            break;
        }
        if (marker == 0xE1 && length >= 8 && source.Holds(at + 2, "Exif\0\0", 6)) {
            TWindowSource exif(source, at + 8, uint64_t(length) - 8);
            const TMediaResult tiff = ReadTiffDate(exif);
            if (tiff.Finding == mfFound || tiff.Finding == mfUnreadable) {
                result.Finding = tiff.Finding;
                result.Date = tiff.Date;
                return result;
            }
            broken = broken || tiff.Container != mcTiff || tiff.Finding == mfBroken;
        }
        at += length;
    }
    result.Finding = broken ? mfBroken : mfNoDate;
    return result;
}
