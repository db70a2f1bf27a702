// The journal's text: any bytes read as a journal give a run or a refusal,
// never a fault; items with any path, identity and stamps, written as journal
// lines and read back, are the same items (a last line cut anywhere leaves its
// item out, never a different one); a byte changed anywhere after the header
// leaves at most that line's item out, as a damaged line, never a different
// item read.

#include "common/timevalue.h"
#include "fuzz_support.h"
#include "journal/journal_format.h"

#include <algorithm>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

// Any stamp, or one near the one before (the stamps of a record mostly share
// their day, and the writer reuses that day's calendar form).
TJournalStamp GeneratedStamp(FuzzedDataProvider &input, const TJournalStamp &before) {
    TJournalStamp stamp;
    if (input.ConsumeBool())
        return stamp; // none
    if (before.Value != 0 && input.ConsumeBool()) {
        const uint64_t step = input.ConsumeIntegralInRange<uint64_t>(0, 2 * 24 * TicksPerHour);
        stamp.Value = before.Value > step ? before.Value - step : before.Value + step;
    } else {
        stamp.Value = input.ConsumeIntegralInRange<uint64_t>(1, UINT64_MAX);
    }
    stamp.Nanos = input.ConsumeIntegralInRange<uint8_t>(0, 99);
    return stamp;
}

bool SameItem(const TJournalItem &a, const TJournalItem &b) {
    for (int k = 0; k < 3; ++k)
        if (!(a.Old[k] == b.Old[k]) || !(a.New[k] == b.New[k]))
            return false;
    return a.Path == b.Path && a.IsFolder == b.IsFolder && a.LinkItself == b.LinkItself &&
           a.VolumeId == b.VolumeId && a.FileId == b.FileId;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFuzzRun run;
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        // Any text at all.
        TJournalRun read;
        const std::vector<char> bytes = input.ConsumeRemainingBytes<char>();
        ParseJournal(std::string(bytes.begin(), bytes.end()), read);
        return 0;
    }
    const std::string program = input.ConsumeRandomLengthString(16);
    const std::string folder = input.ConsumeRandomLengthString(32);
    std::vector<std::string> arguments(input.ConsumeIntegralInRange<size_t>(0, 3));
    for (std::string &argument : arguments)
        argument = input.ConsumeRandomLengthString(16);
    std::vector<TJournalItem> items(input.ConsumeIntegralInRange<size_t>(1, 4));
    std::string text = HeaderLines(132000000000000000ULL, program, folder, arguments);
    const size_t header = text.size();
    for (TJournalItem &item : items) {
        item.Path = input.ConsumeRandomLengthString(48);
        if (item.Path.empty())
            item.Path = "x";
        item.IsFolder = input.ConsumeBool();
        item.LinkItself = input.ConsumeBool();
        item.VolumeId = input.ConsumeIntegral<uint64_t>();
        item.FileId = input.ConsumeIntegral<uint64_t>();
        TJournalStamp before;
        for (TJournalStamp *stamps : {item.Old, item.New})
            for (int k = 0; k < 3; ++k) {
                stamps[k] = GeneratedStamp(input, before);
                if (stamps[k].Value != 0)
                    before = stamps[k];
            }
        AppendItemLine(text, item);
    }
    TJournalRun read;
    const bool parsed = ParseJournal(text, read);
    if (!parsed)
        std::fprintf(stderr, "%s\n", Printable(text).c_str());
    FUZZ_CHECK(parsed);
    FUZZ_CHECK(read.Program == program && read.Folder == folder && read.Arguments == arguments);
    FUZZ_CHECK(read.Items.size() == items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!SameItem(read.Items[i], items[i]))
            std::fprintf(stderr, "written [%s]\nread    [%s]\n", Printable(items[i].Path).c_str(),
                         Printable(read.Items[i].Path).c_str());
        FUZZ_CHECK(SameItem(read.Items[i], items[i]));
    }
    FUZZ_CHECK(read.Damaged.empty() && !read.CutLastLine && read.WholeSize == text.size());
    // One byte changed after the header: every item read is one written, and
    // an item missing leaves a damaged line or a cut one behind.
    if (text.size() > header) {
        std::string changed = text;
        const size_t at = input.ConsumeIntegralInRange<size_t>(header, text.size() - 1);
        const auto flip = input.ConsumeIntegralInRange<uint8_t>(1, 255);
        changed[at] = char(changed[at] ^ flip);
        TJournalRun damaged;
        FUZZ_CHECK(ParseJournal(changed, damaged));
        for (const TJournalItem &item : damaged.Items)
            FUZZ_CHECK(std::any_of(items.begin(), items.end(), [&](const TJournalItem &written) {
                return SameItem(item, written);
            }));
        FUZZ_CHECK(damaged.Items.size() == items.size() || !damaged.Damaged.empty() ||
                   damaged.CutLastLine);
    }
    // Cut anywhere after the header: the items before the cut line, and no other.
    const size_t cut = input.ConsumeIntegralInRange<size_t>(header, text.size());
    TJournalRun partial;
    FUZZ_CHECK(ParseJournal(text.substr(0, cut), partial));
    FUZZ_CHECK(partial.Items.size() <= items.size());
    for (size_t i = 0; i < partial.Items.size(); ++i)
        FUZZ_CHECK(SameItem(partial.Items[i], items[i]));
    return 0;
}
