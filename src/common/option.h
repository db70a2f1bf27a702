#pragma once
// The option record: every setting that can differ from one file operand to
// the next.

#include "common/timevalue.h"

#include <cstdint>
#include <string>
#include <vector>

enum TStampSource : uint8_t {
    ssModification = 0, // -sw
    ssCreation = 1,     // -sc
    ssAccess = 2,       // -sa
    ssSameKind = 3,     // -ss
    ssNow = 4,          // -sn
};

enum TStampKind : uint8_t {
    skModification = 0, // -w
    skCreation = 1,     // -c
    skAccess = 2,       // -a
};
inline constexpr TStampKind AllStampKinds[3] = {skModification, skCreation, skAccess};
static_assert(int(ssModification) == skModification && int(ssCreation) == skCreation &&
              int(ssAccess) == skAccess);

// A set of stamp kinds, one bit per kind.
struct TStampKinds {
    uint8_t Bits = 0;
    bool Has(TStampKind k) const { return (Bits >> k) & 1; }
    void Include(TStampKind k) { Bits |= uint8_t(1u << k); }
    void Exclude(TStampKind k) { Bits &= uint8_t(~(1u << k)); }
    void Toggle(TStampKind k) { Bits ^= uint8_t(1u << k); }
    bool Empty() const { return Bits == 0; }
    static TStampKinds Of(TStampKind k) { return TStampKinds{uint8_t(1u << k)}; }
    bool operator==(const TStampKinds &) const = default;
};

enum TDateMode : uint8_t {
    dmNone = 0,
    dmTime = 1,
    dmDay = 2,
    dmMonthDay = 3,
    dmDate = 4,
    dmUnknown = 5,
};

enum TFolderMode : uint8_t {
    fmNoFolders = 0,      // -f0, -f-
    fmMatchedFolders = 1, // -f, -f1
    fmAllFolders = 2,     // -f2, -f+
    fmNoFiles = 3,        // -f3
};

struct TOption {
    std::string FileName;
    TStampSource Source = ssNow;
    TStampKinds Kinds = TStampKinds::Of(skModification);
    TDateMode DateMode = dmNone;
    TFolderMode FolderMode = fmNoFolders;
    bool Recurse = false;
    bool Preview = false;
    bool IgnoreNotFound = false;
    bool MakeRestoreFile = false;
    bool Expert = false;
    TTimeParts DateTime; // local date and time of -d and -t
    // The -d and -t words as typed that set DateTime, for the errors.
    std::string DateWord;
    std::string TimeWord;
    // -zo: the offset from UTC at which the date and time are read (and the
    // source value taken apart); not fixed: local time.
    TUtcOffset Offset;
    int64_t Shift = 0; // ticks, from -t+ and -t-
    std::string SourceFile;
};

// Sets every field but FileName, DateTime and its words to its default.
void ResetOption(TOption &option);

// Where the new stamp of `kind` is taken from: ssNow, or the source that reads
// one stamp kind of a file (ssModification, ssCreation or ssAccess, numbered
// as the stamp kinds are); never ssSameKind.
TStampSource SourceKindFor(const TOption &option, TStampKind kind);
// The stamp kind that a source other than ssNow and ssSameKind reads.
inline TStampKind KindReadBy(TStampSource source) {
    return TStampKind(source);
}
