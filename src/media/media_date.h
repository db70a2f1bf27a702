#pragma once
// The date a file's own contents give: when a photo or video was taken. One
// reader per container, each reading a bounded number of bytes through a
// byte source; and the date a file's name gives.

#include "common/timevalue.h"
#include "media/byte_source.h"

#include <cstdint>
#include <string>

// Where a date came from.
enum TMediaOrigin : uint8_t {
    moNone = 0,
    moExifOriginal,  // Exif DateTimeOriginal
    moExifDigitized, // Exif DateTimeDigitized
    moQuickTime,     // QuickTime mvhd CreateDate, in UTC
    moFileName,      // a date in the file's name
};

// A date as the file gives it: local parts of an unknown offset (Exif without
// its offset tags, a name), local parts with their offset (Exif with
// OffsetTimeOriginal or OffsetTimeDigitized), or UTC parts (QuickTime).
struct TMediaDate {
    TMediaOrigin Origin = moNone;
    TTimeParts Parts;
    bool IsUtc = false;     // QuickTime
    bool HasOffset = false; // the Exif offset tag of the date
    int32_t OffsetMinutes = 0;
};

// The containers the readers know.
enum TMediaContainer : uint8_t {
    mcUnknown = 0,
    mcJpeg,
    mcTiff,
    mcPng,
    mcWebP,
    mcHeif,
    mcQuickTime,
};

// What a container reader found.
enum TMediaFinding : uint8_t {
    mfFound = 0,
    mfNoDate,     // a sound container without a date the program takes
    mfBroken,     // cut or inconsistent where the date would be
    mfUnreadable, // a read failed (the source's ErrorCode tells why)
};

struct TMediaResult {
    TMediaContainer Container = mcUnknown;
    TMediaFinding Finding = mfNoDate;
    TMediaDate Date;
};

// The container readers. Each takes the whole file as `source` and looks
// only at the bytes it needs; a file of another kind gives mfNoDate with
// Container mcUnknown.
TMediaResult ReadJpegDate(TByteSource &source);
TMediaResult ReadTiffDate(TByteSource &source); // also the Exif block of the others
TMediaResult ReadPngDate(TByteSource &source);
TMediaResult ReadWebPDate(TByteSource &source);
TMediaResult ReadHeifDate(TByteSource &source);
TMediaResult ReadQuickTimeDate(TByteSource &source);

// The container of the file by its first bytes, and its reader's result.
TMediaResult ReadContentDate(TByteSource &source);

// The date written in a file name (without folder): YYYYMMDD or YYYY-MM-DD
// (also "_" or "." between the parts), optionally one separator ("_", "-",
// ".", blank or "T") and a time HHMMSS, HH-MM-SS, HH.MM.SS or HH_MM_SS with up
// to 9 digits of fractions. False where the name holds none.
bool ReadNameDate(const std::string &name, TMediaDate &date);

// Reads a Exif date text "YYYY:MM:DD HH:MM:SS" (an all-blank or all-zero one
// is none) and an offset text "+09:00"; false where there is none.
bool ReadExifDateText(const char *text, size_t size, TTimeParts &parts);
bool ReadExifOffsetText(const char *text, size_t size, int32_t &minutes);

// The name of a container and of an origin, as a reason or the preview tells them.
const char *ContainerName(TMediaContainer container);
const char *OriginName(TMediaOrigin origin);
