#pragma once
// Shared pieces of the media readers' fuzz targets: the input is a whole
// file; whatever it holds, a reader ends, reads only what lies in the file
// (and a bounded amount of it), and gives only a date that can be.

#include "fuzz_support.h"
#include "media/media_date.h"

#include <cstdint>

// Memory that counts what a reader asks of it.
class TCountingSource : public TMemorySource {
public:
    using TMemorySource::TMemorySource;
    bool Read(uint64_t offset, void *buffer, size_t size) override {
        ++Reads;
        Bytes += size;
        return TMemorySource::Read(offset, buffer, size);
    }
    uint64_t Reads = 0;
    uint64_t Bytes = 0;
};

inline void CheckMediaResult(const TMediaResult &result, const TCountingSource &source) {
    // Bounded work whatever the file: boxes, chunks, segments and IFD entries
    // are counted, and no value is read that is larger than a few bytes.
    FUZZ_CHECK(source.Reads <= 200000);
    FUZZ_CHECK(source.Bytes <= 4 * 1024 * 1024);
    if (result.Finding != mfFound)
        return;
    FUZZ_CHECK(result.Container != mcUnknown);
    const TMediaDate &date = result.Date;
    FUZZ_CHECK(date.Origin != moNone);
    TTimeValue value = 0;
    FUZZ_CHECK(TimePartsToFileTime(date.Parts, value));
    FUZZ_CHECK(date.Parts.Fraction < TicksPerSecond);
    FUZZ_CHECK(!date.HasOffset ||
               (date.OffsetMinutes >= -14 * 60 && date.OffsetMinutes <= 14 * 60));
    FUZZ_CHECK(date.IsUtc == (date.Origin == moQuickTime));
}

// A reader run over the input as a whole file.
#define MEDIA_FUZZ_TARGET(reader)                                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {                      \
        TCountingSource source(data, size);                                                        \
        CheckMediaResult(reader(source), source);                                                  \
        return 0;                                                                                  \
    }
