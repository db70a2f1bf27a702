#include "media/media_date.h"

TMediaResult ReadContentDate(TByteSource &source) {
    uint8_t head[12] = {};
    if (!source.Read(0, head, 4))
        return TMediaResult{};
    if (head[0] == 0xFF && head[1] == 0xD8)
        return ReadJpegDate(source);
    if (head[0] == 0x89 && head[1] == 'P')
        return ReadPngDate(source);
    if ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))
        return ReadTiffDate(source);
    if (head[0] == 'R' && head[1] == 'I')
        return ReadWebPDate(source);
    // Both read boxes; an image brand in the file type makes it HEIF.
    TMediaResult heif = ReadHeifDate(source);
    if (heif.Container != mcUnknown)
        return heif;
    return ReadQuickTimeDate(source);
}

const char *ContainerName(TMediaContainer container) {
    switch (container) {
    case mcJpeg:
        return "JPEG";
    case mcTiff:
        return "TIFF";
    case mcPng:
        return "PNG";
    case mcWebP:
        return "WebP";
    case mcHeif:
        return "HEIF";
    case mcQuickTime:
        return "QuickTime";
    default:
        return "";
    }
}

const char *OriginName(TMediaOrigin origin) {
    switch (origin) {
    case moExifOriginal:
        return "Exif DateTimeOriginal";
    case moExifDigitized:
        return "Exif DateTimeDigitized";
    case moQuickTime:
        return "QuickTime CreateDate";
    case moFileName:
        return "ファイル名";
    default:
        return "";
    }
}
