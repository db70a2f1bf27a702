// Round trip of the restore lines: items with any path and any stamps,
// written as restore lines and read back as a response file, under another
// offset from UTC than the one they were written at, give the same operands
// and the same stamps (to the tick with seven sub-second digits, cut to the
// digits written otherwise).

#include "cli/option_sources.h"
#include "cli/parser.h"
#include "common/errors.h"
#include "common/paths.h"
#include "engine/stamp_source.h"
#include "fuzz_support.h"
#include "report/output.h"
#include "report/restore.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Bytes a generated path leaves out: NUL ends every name. Every other byte,
// CR and LF included, may stand in a name.
bool LeftOutOfPaths(unsigned char c) {
    return c == 0;
}

// A name as the walk hands it on: never empty.
std::string GeneratedPath(FuzzedDataProvider &input) {
    std::string path = input.ConsumeRandomLengthString(64);
    for (char &c : path)
        if (LeftOutOfPaths(static_cast<unsigned char>(c)))
            c = '_';
    return path.empty() ? "_" : path;
}

// The stamps a restore line can give back: the reader refuses a year before
// 1980 at the line's offset (local time's, in whole minutes), an offset
// outside -12:00 to +14:00 and a stamp at or after StampLimit.
bool ReadableStamp(TTimeValue value) {
    TTimeParts local;
    const TUtcOffset offset = OffsetInForce(value);
    return value < StampLimit && offset.Fixed && FileTimeToZoneParts(value, offset, local) &&
           local.wYear >= 1980 && OffsetInRange(offset);
}

struct TItem {
    std::string Path;
    TItemStamps Stamps;
};

// An item gets restore lines only where reading them back gives the same
// item and stamps: no line break in its path, natively no wildcard in its
// name, and every selected known stamp readable.
bool GetsLines(const TRunTimes &times, const TItem &item) {
    if (item.Path.find_first_of("\r\n") != std::string::npos)
        return false;
    if (!HasDriveSyntax && FileNamePart(item.Path).find_first_of("*?") != std::string::npos)
        return false;
    for (TStampKind kind : AllStampKinds) {
        const TTimeValue value = item.Stamps.OldValues[kind];
        if (item.Stamps.Options.Kinds.Has(kind) && !times.IsUnknown(value) && !ReadableStamp(value))
            return false;
    }
    return true;
}

// The value a line with `digits` sub-second digits gives back (an offset of
// whole minutes leaves the sub-second part as it is).
TTimeValue Written(const TRunTimes &times, TTimeValue value, int digits) {
    if (times.IsUnknown(value))
        return value;
    uint64_t unit = 1;
    for (int i = digits; i < 7; ++i)
        unit *= 10;
    return value - value % TicksPerSecond % unit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    constexpr int64_t Day = 24 * int64_t(TicksPerHour);
    Fake().LocalOffset = input.ConsumeIntegralInRange<int64_t>(-Day, Day);
    TRunTimes &times = run.Report.Times;
    times.Unknown = UnknownTimeLocalNT - uint64_t(Fake().LocalOffset);
    times.Now = 132000000000000000ULL; // 2019, in range whatever the offset
    const int digits = input.ConsumeIntegralInRange<int>(0, 7);
    const int64_t readOffset = input.ConsumeIntegralInRange<int64_t>(-Day, Day);

    std::string folder = Platform().FullPathName(nullptr, ".");
    if (folder.empty() || folder.back() != PathSeparator)
        folder += PathSeparator;
    const auto anchor = std::make_shared<const std::string>(folder);
    std::vector<TItem> items(input.ConsumeIntegralInRange<size_t>(1, 3));
    for (TItem &item : items) {
        item.Stamps.Path = GeneratedPath(input);
        item.Stamps.FractionWidth = digits == 0 ? 0 : digits + 1;
        item.Stamps.Options.Kinds.Bits = input.ConsumeIntegralInRange<uint8_t>(1, 7);
        for (TTimeValue &value : item.Stamps.OldValues) {
            switch (input.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                value = times.Unknown;
                break;
            case 1:
                value = 0;
                break;
            default:
                // From well before 1980 to past the limit: stamps outside what
                // a line can give back must get no line.
                value = input.ConsumeIntegralInRange<uint64_t>(UnknownTimeLocalNT - 400 * Day,
                                                               StampLimit + Day);
            }
        }
        item.Stamps.Place.Name = item.Stamps.Path;
        // The walk gives each item its operand's absolute folder: here the
        // current one.
        item.Stamps.Anchor = anchor;
        item.Stamps.AnchorFrom = 0;
        item.Path = AbsoluteItemPath(item.Stamps);
    }

    // Which items get lines is decided where they are written: a stamp's
    // local year depends on the offset in force for it.
    std::vector<bool> getsLines;
    bool anyLines = false;
    for (TItem &item : items) {
        getsLines.push_back(GetsLines(times, item));
        anyLines = anyLines || getsLines.back();
        run.Report.HeadingPending = true;
        WriteRestoreLines(run.Report, item.Stamps);
    }
    run.Output.Flush();
    if (!anyLines) {
        FUZZ_CHECK(Fake().Out.empty());
        return 0;
    }
    Fake().Files["restore.txt"] = Fake().Out;
    // Read where local time is another: the lines carry their own offset.
    Fake().LocalOffset = readOffset;
    const TTokenList list = GatherTokens({"@restore.txt"}, run.Names);
    std::vector<TOption> operands;
    try {
        operands = ParseTokens(list.Tokens, list.DefaultCount).Operands;
    } catch (const EAppError &error) {
        std::fprintf(stderr, "%s\n%s\n", Printable(Fake().Out).c_str(), error.what());
        FUZZ_CHECK(!"the restore lines read back");
    }

    size_t next = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const TItem &item = items[i];
        if (!getsLines[i])
            continue;
        for (TStampKind kind : AllStampKinds) {
            if (!item.Stamps.Options.Kinds.Has(kind))
                continue;
            FUZZ_CHECK(next < operands.size());
            TOption option = operands[next++];
            if (option.FileName != item.Path)
                std::fprintf(stderr, "written [%s]\nread    [%s]\n", Printable(item.Path).c_str(),
                             Printable(option.FileName).c_str());
            FUZZ_CHECK(option.FileName == item.Path);
            FUZZ_CHECK(option.Kinds == TStampKinds::Of(kind));
            FUZZ_CHECK(option.Expert && option.IgnoreNotFound && option.Source == ssNow);
            const TTimeValue value = item.Stamps.OldValues[kind];
            if (times.IsUnknown(value)) {
                FUZZ_CHECK(option.DateMode == dmUnknown);
                continue;
            }
            FUZZ_CHECK(option.DateMode == dmDate);
            TTimeValue restored = 0;
            ComputeNewStamp(option.FileName, kind, option, times, restored);
            FUZZ_CHECK(restored == Written(times, value, digits));
        }
    }
    FUZZ_CHECK(next == operands.size());
    return 0;
}
