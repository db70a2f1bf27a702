#include "cli/option_sources.h"
#include "cli/parser.h"
#include "common/errors.h"
#include "common/settings.h"
#include "engine/stamp_item.h"
#include "fake/fake_platform.h"
#include "journal/journal.h"
#include "report/output.h"
#include "report/report.h"
#include "report/restore.h"
#include "run/stamp_pipeline.h"
#include "select/walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// What a run leaves: its report on both streams and its journal's records.
struct TRunResult {
    std::string Out, Err;
    std::vector<std::string> Journal;
    bool operator==(const TRunResult &) const = default;
};

// The journal's records as the run hands them on, kept in order.
class TRecords : public TChangeRecorder {
public:
    std::vector<std::string> Kept;
    bool Describe(const TItemStamps &item, bool isFolder, std::string &record,
                  std::string &reason) const override {
        return TJournal::Describe(item, isFolder, record, reason);
    }
    bool PassesOver(const TFoundItem &) const override { return false; }
    void Append(std::string &&record) override { Kept.push_back(std::move(record)); }
    void Flush() override {}
};

// The serial reference: each item read, computed, journaled, written and
// reported before the walk goes on to the next, one operand after another.
class TSerialRun : public TWalkVisitor {
public:
    TSerialRun(TReport &report, const TStampContext &context, int32_t fractionWidth,
               std::vector<std::string> &journal)
        : Report(report), Context(context), FractionWidth(fractionWidth), Journal(journal) {}

    void Run(const std::vector<TOption> &operands) {
        for (const TOption &operand : operands) {
            Operand = &operand;
            Report.HeadingPending = true;
            const TWalkResult result = SearchOperand(operand, *this);
            if (!result.Found)
                ReportNothingSelected(Report, operand, result.FolderError);
        }
    }

    void Item(TFoundItem found) override {
        TItemStamps item;
        item.Options = *Operand;
        item.Path = found.Path;
        item.Place = found.Place;
        item.Anchor = found.Anchor;
        item.AnchorFrom = found.AnchorFrom;
        item.FractionWidth = FractionWidth;
        if (Operand->MakeRestoreFile) {
            ReadPresentStamps(item);
            WriteRestoreLines(Report, item);
            return;
        }
        if (PrepareItemStamps(item, Context)) {
            std::string record, reason;
            ASSERT_TRUE(TJournal::Describe(item, found.Entry.IsFolder, record, reason)) << reason;
            Journal.push_back(record);
            WriteItemStamps(item, found.Entry.IsFolder, Context);
        }
        ReportItem(Report, item);
    }
    void Unsearchable(const std::string &path, const std::string &reason) override {
        WarnItemKept(Report, "Warn.: フォルダを検索できませんでした", path, reason);
    }

private:
    TReport &Report;
    const TStampContext &Context;
    const int32_t FractionWidth;
    std::vector<std::string> &Journal;
    const TOption *Operand = nullptr;
};

// The run's way: every operand through one pipeline.
void PipelineRun(const std::vector<TOption> &operands, TReport &report,
                 const TStampContext &context, int32_t fractionWidth, unsigned threads,
                 TChangeRecorder *journal) {
    TStampPipeline pipeline(report, context, fractionWidth, threads, journal);
    for (const TOption &operand : operands) {
        pipeline.BeginOperand(operand);
        const TWalkResult result = SearchOperand(operand, pipeline);
        if (result.Found)
            continue;
        pipeline.Drain();
        ReportNothingSelected(report, operand, result.FolderError);
    }
    pipeline.Drain();
}

const std::string Eol = LineEnd;

// A tree on the fake platform, run through the pipeline on the run's thread.
class FakePipeline : public ::testing::Test {
protected:
    TFakePlatformScope Scope;
    TRunTimes Times;
    TOutput Output;
    TReport Report{Output, {}};

    void SetUp() override {
        Fake().Now = 133497936001234567ULL;
        Times = StartTimes();
        Report.Times = Times;
    }
    TStampContext Context() { return TStampContext{Times, true, true, nullptr}; }
    TOption Operand(const std::string &pattern, TFolderMode mode = fmNoFolders) {
        TOption option;
        option.FileName = pattern;
        option.FolderMode = mode;
        option.Source = ssNow;
        return option;
    }
    bool Reported(const std::string &path) const {
        const std::string line = "変更しました。(" + path + ")";
        return Fake().Out.find(line) != std::string::npos ||
               Fake().Err.find(line) != std::string::npos;
    }
};

// An interrupt or a failed output stops the writing: no item is written after
// it is seen beyond those in hand, and every item written is reported (on the
// error stream once the output failed). Both come after the walk has handed
// on every item, while the pipeline drains.
TEST_F(FakePipeline, AStopEndsTheWritingAndNamesEveryItemWritten) {
    const struct {
        const char *Name;
        bool Interrupt;
        size_t Items;
    } rows[] = {{"interrupt", true, 50}, {"output", false, 1500}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.Name);
        Fake().Items.clear();
        Fake().Writes.clear();
        Fake().Out.clear();
        Fake().Err.clear();
        // Long names: the output's buffer is written out (and fails) mid-run.
        const std::string stem(60, 'n');
        for (size_t i = 0; i < row.Items; ++i)
            Fake().AddFile(FakePath({"d", stem + std::to_string(1000 + i) + ".txt"}));
        Fake().InterruptsCaught = true;
        Fake().InterruptAfterWrites = row.Interrupt ? 10 : 0;
        Fake().FailOut = !row.Interrupt;
        const TOption option = Operand(FakePath({"d", "*.txt"}));
        std::exception_ptr error;
        try {
            PipelineRun({option}, Report, Context(), 0, 1, nullptr);
            Output.Flush();
        } catch (...) {
            error = std::current_exception();
        }
        // As the run does before its last line.
        try {
            Output.Flush();
        } catch (const EStreamError &) {
        }
        ASSERT_TRUE(error);
        if (row.Interrupt) {
            EXPECT_THROW(std::rethrow_exception(error), EInterrupted);
            // What was in hand when it came, and no more.
            EXPECT_GE(Fake().Writes.size(), 10u);
            EXPECT_LE(Fake().Writes.size(), 10u + 32u);
        } else {
            EXPECT_THROW(std::rethrow_exception(error), EStreamError);
            EXPECT_LT(Fake().Writes.size(), row.Items);
        }
        for (const TFakeWrite &write : Fake().Writes)
            EXPECT_TRUE(Reported(write.Path)) << write.Path;
        size_t named = 0;
        for (const auto &[path, item] : Fake().Items)
            named += Reported(path);
        EXPECT_EQ(named, Fake().Writes.size());
        Fake().FailOut = false;
        Fake().InterruptAfterWrites = 0;
        Report.HeadingPending = false;
        Output = TOutput();
    }
}

// An entry that is not what the listing said by the time its item is read (a
// folder or file swapped for a link, a file for a folder) is left alone, in
// the operand's own folder as below it.
TEST_F(FakePipeline, AnEntrySwappedAfterTheListingIsLeftAlone) {
    // The Windows build stamps a folder with nothing else in flight, so the
    // items before one are written while the walk goes on: the swap cannot be
    // placed between listing and reading by this test there.
    if (StampWriteOpensItem)
        GTEST_SKIP() << "folders are stamped with nothing else in flight";
    const struct {
        std::string Path;
        bool WasFolder;
        bool IsFolder, IsLink;
    } rows[] = {
        {FakePath({"d", "sub"}), true, true, true},
        {FakePath({"d", "a.txt"}), false, false, true},
        {FakePath({"d", "b.txt"}), false, true, false},
        {FakePath({"e", "s", "c.txt"}), false, false, true},
    };
    for (const auto &row : rows)
        row.WasFolder ? Fake().AddFolder(row.Path) : Fake().AddFile(row.Path);
    Fake().AddFile(FakePath({"d", "kept.txt"}));
    // The operand's own folder, and a folder below an operand's.
    const TOption here = Operand(FakePath({"d", "*"}), fmMatchedFolders);
    TOption below = Operand(FakePath({"e", "*.txt"}));
    below.Recurse = true;
    TStampPipeline pipeline(Report, Context(), 0, 1, nullptr);
    for (const TOption *option : {&here, static_cast<const TOption *>(&below)}) {
        pipeline.BeginOperand(*option);
        ASSERT_TRUE(SearchOperand(*option, pipeline).Found);
    }
    // Handed on, not read yet.
    ASSERT_TRUE(Fake().Writes.empty());
    for (const auto &row : rows) {
        Fake().Item(row.Path).IsFolder = row.IsFolder;
        Fake().Item(row.Path).IsLink = row.IsLink;
    }
    pipeline.Drain();
    Output.Flush();
    ASSERT_EQ(Fake().Writes.size(), 1u);
    EXPECT_EQ(Fake().Writes[0].Path, FakePath({"d", "kept.txt"}));
    for (const auto &row : rows)
        EXPECT_NE(Fake().Err.find(row.Path + ": " + ReplacedSinceListed), std::string::npos)
            << row.Path << Fake().Err;
    EXPECT_TRUE(Report.ItemsKept);
}

#ifndef _WIN32

namespace fs = std::filesystem;

std::string Captured[3];
std::vector<std::string> GivenArguments;
bool CaptureStream(TStream stream, const char *data, size_t size) {
    Captured[stream].append(data, size);
    return true;
}
bool CaptureText(TStream stream, const char *text, size_t size, bool) {
    return CaptureStream(stream, text, size);
}
bool NoTerminal(TStream) {
    return false;
}
std::vector<std::string> Arguments() {
    return GivenArguments;
}

// Real trees: the native platform, with the streams kept and the arguments
// given here.
class NativePipeline : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvard-pipeline-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = pattern;
        Table = NativePlatform();
        Table.WriteStream = CaptureStream;
        Table.WriteText = CaptureText;
        Table.IsTerminal = NoTerminal;
        Table.Arguments = Arguments;
        SetPlatform(&Table);
        // No stored default options.
        setenv("XDG_CONFIG_HOME", (Root + "/config").c_str(), 1);
        ASSERT_EQ(chdir(Root.c_str()), 0);
    }
    void TearDown() override {
        SetPlatform(nullptr);
        if (chdir("/") == 0)
            fs::remove_all(Root);
    }

    void File(const std::string &path, int64_t seconds) {
        fs::create_directories(fs::path(path).parent_path());
        close(open(path.c_str(), O_CREAT | O_WRONLY, 0644));
        Original[path] = seconds;
    }
    // Every file back to its first stamps.
    void Reset() {
        for (const auto &[path, seconds] : Original) {
            const timespec times[2] = {{seconds, 0}, {seconds, 500}};
            utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
    }
    std::map<std::string, int64_t> Stamps() const {
        std::map<std::string, int64_t> stamps;
        for (const auto &[path, seconds] : Original) {
            struct stat info {};
            lstat(path.c_str(), &info);
            stamps[path] = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        }
        return stamps;
    }

    // One command line, run by the serial reference (threads 0) or by the
    // pipeline.
    TRunResult Run(const std::vector<std::string> &args, unsigned threads) {
        Reset();
        GivenArguments = args;
        for (std::string &text : Captured)
            text.clear();
        TOutput output;
        const TParsedOptions parsed = ParseOptions(ProgramNamesOf("kelvard"), output);
        TRunTimes times = StartTimes();
        times.Now = 133497936001234567ULL; // the same start for every run
        TReport report{output, times};
        BeginReport(report, parsed.Operands);
        const TStampContext context{times, true, true, nullptr};
        const int32_t width = FractionWidthOf(parsed.Settings.SubSecondDigits);
        TRunResult result;
        try {
            if (threads == 0) {
                TSerialRun(report, context, width, result.Journal).Run(parsed.Operands);
            } else {
                TRecords records;
                PipelineRun(parsed.Operands, report, context, width, threads, &records);
                result.Journal = records.Kept;
            }
            output.Flush();
        } catch (const EAppError &error) {
            output.Flush();
            result.Err = "Error: " + error.message() + Eol;
        }
        result.Out = Captured[stdOutput];
        result.Err = Captured[stdError] + result.Err;
        return result;
    }

    std::string Root;
    TPlatform Table;
    std::map<std::string, int64_t> Original; // first stamps of the files, in seconds
};

// Two names of one file, links to one file, overlapping operands, an operand
// that copies what an earlier one wrote, restore lines of what was written:
// every thread count gives what one item at a time gives, on disk, in the
// report and in the journal.
TEST_F(NativePipeline, EveryThreadCountGivesTheSerialResult) {
    const int64_t base = 1262304000; // 2010-01-01
    // Files f<number> in `folder`, each with a second name g<number>.
    const auto twoNames = [&](const std::string &folder, int count, const char *format,
                              int64_t step) {
        for (int i = 0; i < count; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, format, i);
            File(folder + "/f" + number + ".txt", base + i * step);
            fs::create_hard_link(folder + "/f" + number + ".txt", folder + "/g" + number + ".txt");
        }
    };
    twoNames("h", 40, "%03d", 86400);
    for (int i = 0; i < 10; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "h/l%03d.txt", i);
        fs::create_symlink(std::string(name).substr(2).replace(0, 1, "f"), name);
    }
    // More names of one file than the pipeline keeps track of at once: what
    // it lets go of must be what no job can still need.
    twoNames("k", 1200, "%04d", 60);
    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "a/x%03d.txt", i);
        File(name, base + i * 3600);
        std::snprintf(name, sizeof name, "b/x%03d.txt", i);
        File(name, base - i * 3600);
    }
    const std::vector<std::vector<std::string>> cases = {
        {"-sw", "-t+1:30", "h/*.txt"},
        {"-sw", "-t+0:10", "h/f*.txt", "h/*.txt", "h/l*.txt"},
        {"-x", "-d2011-03-15", "-t12:00", "a/*.txt", "-i", "-x", "-ss:a/", "b/*.txt"},
        {"-x", "-d2011-03-15", "-t12:00", "a/x007.txt", "-i", "-x", "-ss:a/", "b/x007.txt"},
        {"-x", "-sw", "-t+1:00", "h/g*.txt", "-i", "-x", "-sw:h/f001.txt", "h/f*.txt"},
        {"-x", "-d2012-01-01", "h/g*.txt", "-e", "h/f*.txt"},
        {"-sw", "-t+0:01", "k/*.txt", "k/g*.txt"},
    };
    for (const auto &args : cases) {
        std::string shown;
        for (const std::string &arg : args)
            shown += arg + " ";
        SCOPED_TRACE(shown);
        const TRunResult serial = Run(args, 0);
        const auto serialStamps = Stamps();
        EXPECT_TRUE(serial.Err.find("Error") == std::string::npos) << serial.Err;
        for (unsigned threads : {1u, 2u, 8u}) {
            SCOPED_TRACE(threads);
            EXPECT_EQ(Run(args, threads), serial);
            EXPECT_EQ(Stamps(), serialStamps);
        }
    }
    // The reference itself: each name of a file moves it again, and a link
    // named by the pattern once more.
    Run(cases[0], 8);
    const auto stamps = Stamps();
    const int64_t hour = int64_t(3600) * 1000000000;
    EXPECT_EQ(stamps.at("h/f020.txt"), (base + 20 * 86400) * 1000000000 + 3 * hour + 500);
    EXPECT_EQ(stamps.at("h/f005.txt"), (base + 5 * 86400) * 1000000000 + 9 * hour / 2 + 500);
    Run(cases[2], 8);
    EXPECT_EQ(Stamps().at("b/x123.txt"), Stamps().at("a/x123.txt"));
}

// A folder of the operand's own folder, listed as a folder and swapped for a
// link before it is read: neither it nor what the link leads to is stamped.
TEST_F(NativePipeline, AFolderSwappedForALinkLeadsNowhere) {
    fs::create_directories("t/sub");
    File("out/o", 1262304000);
    Reset();
    GivenArguments = {"-f1", "-d2011-03-15", "t/*"};
    TOutput output;
    const TParsedOptions parsed = ParseOptions(ProgramNamesOf("kelvard"), output);
    const TRunTimes times = StartTimes();
    TReport report{output, times};
    const TStampContext context{times, true, true, nullptr};
    TStampPipeline pipeline(report, context, 0, 1, nullptr);
    pipeline.BeginOperand(parsed.Operands[0]);
    ASSERT_TRUE(SearchOperand(parsed.Operands[0], pipeline).Found);
    fs::rename("t/sub", "moved");
    fs::create_directory_symlink("../out", "t/sub");
    pipeline.Drain();
    output.Flush();
    EXPECT_EQ(Stamps().at("out/o"), int64_t(1262304000) * 1000000000 + 500);
    EXPECT_NE(Captured[stdError].find("t/sub: " + std::string(ReplacedSinceListed)),
              std::string::npos)
        << Captured[stdError];
}

#endif

} // namespace
