// The creation date of a QuickTime or MP4 movie: the mvhd box of its moov
// box. The boxes are walked by their headers, so a movie's media data, often
// before its moov box, is never read.

#include "media/bmff_box.h"
#include "media/media_date.h"

namespace {

constexpr unsigned MaxBoxes = 1024; // boxes looked at on one level
// Seconds from 1601-01-01 to 1904-01-01, where the movie's clock starts.
constexpr uint64_t Seconds1601To1904 = 9561628800ULL;

bool IsTopLevelType(const char *type) {
    static const char types[] = "ftypmoovmdatfreeskipwidepnotuuid";
    for (unsigned i = 0; i + 4 < sizeof types; i += 4)
        if (std::memcmp(type, types + i, 4) == 0)
            return true;
    return false;
}

} // namespace

TMediaResult ReadQuickTimeDate(TByteSource &source) {
    TMediaResult result;
    char type[4];
    if (!source.Read(4, type, 4) || !IsTopLevelType(type))
        return result;
    result.Container = mcQuickTime;
    result.Finding = mfBroken;
    const uint64_t end = source.Size();
    TBox moov;
    bool found = false;
    uint64_t at = 0;
    for (unsigned i = 0; i < MaxBoxes && at < end && !found; ++i) {
        TBox box;
        if (!ReadBox(source, at, end, box))
            return result;
        if (i == 0 && box.Is("ftyp") && HasBrand(source, box, HeifBrands, HeifBrandCount)) {
            result.Container = mcUnknown; // an image: HEIF's reader takes it
            result.Finding = mfNoDate;
            return result;
        }
        found = box.Is("moov");
        if (found)
            moov = box;
        at = box.End;
    }
    if (!found) {
        result.Finding = at >= end ? mfNoDate : mfBroken;
        return result;
    }
    at = moov.Body;
    for (unsigned i = 0; i < MaxBoxes && at < moov.End; ++i) {
        TBox box;
        if (!ReadBox(source, at, moov.End, box))
            return result;
        if (box.Is("mvhd")) {
            uint8_t version = 0;
            uint64_t seconds = 0;
            if (!source.U8(box.Body, version) || version > 1 ||
                !ReadSized(source, box.Body + 4, version == 1 ? 8 : 4, seconds) ||
                !Within(box.Body + 4, version == 1 ? 8 : 4, box.End))
                return result;
            if (seconds == 0) {
                result.Finding = mfNoDate;
                return result;
            }
            // Far beyond any stamp: no date to take.
            if (seconds > 100000000000ULL)
                return result;
            TTimeParts parts;
            if (!FileTimeToTimeParts((seconds + Seconds1601To1904) * TicksPerSecond, parts))
                return result;
            result.Finding = mfFound;
            result.Date.Origin = moQuickTime;
            result.Date.Parts = parts;
            result.Date.IsUtc = true;
            return result;
        }
        at = box.End;
    }
    result.Finding = mfNoDate;
    return result;
}
