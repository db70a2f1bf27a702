#include "cli/option_sources.h"
#include "cli/parser.h"
#include "common/errors.h"
#include "engine/stamp_item.h"
#include "engine/stamp_source.h"
#include "fake/fake_platform.h"
#include "report/output.h"
#include "report/restore.h"

#include "common/settings.h"
#include "common/text.h"
#include "time_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string EOL = LineEnd;
const std::string Sep(1, PathSeparator);
constexpr int64_t NineHours = 9 * int64_t(TicksPerHour);

TTimeValue Local(int y, int mo, int d, int h, int mi, int s, uint32_t fraction = 0) {
    TTimeValue value = 0;
    EXPECT_TRUE(LocalPartsToFileTime(MakeParts(y, mo, d, h, mi, s, fraction), value));
    return value;
}

class Restore : public ::testing::Test {
protected:
    void SetUp() override {
        Fake().LocalOffset = NineHours;
        Rep.Times.Unknown = Local(1980, 1, 1, 0, 0, 0);
        Rep.HeadingPending = true;
        Cwd = Fake().CurrentFolder + Sep;
    }

    TItemStamps Item(const std::string &path, uint8_t kinds, int digits = 6) {
        TItemStamps item;
        item.Path = path;
        item.Place.Name = path;
        // The walk's anchor: the real folder it started from, where there is one.
        const std::string folder = Platform().FullPathName(nullptr, ".");
        if (!folder.empty())
            item.Anchor = std::make_shared<const std::string>(folder + Sep);
        item.Options.Kinds = TStampKinds{kinds};
        item.FractionWidth = digits == 0 ? 0 : digits + 1;
        return item;
    }

    // The restore lines of an item as the run writes them: its present
    // stamps read first.
    void WriteRestoreLines(TItemStamps item) {
        ReadPresentStamps(item);
        ::WriteRestoreLines(Rep, item);
    }

    std::string Out() {
        Output.Flush();
        std::string out = Fake().Out;
        Fake().Out.clear();
        return out;
    }
    std::string Err() {
        std::string err = Fake().Err;
        Fake().Err.clear();
        return err;
    }

    TFakePlatformScope Scope;
    TOutput Output;
    TReport Rep{Output, {}};
    std::string Cwd;
};

TEST_F(Restore, LinesOfOneItemInKindOrderWithAbsolutePaths) {
    Fake().AddFile("a.txt", Local(2011, 1, 2, 3, 4, 5, 1234567), 0,
                   Local(2012, 11, 22, 13, 14, 15, 9999999));
    WriteRestoreLines(Item("a.txt", 7));
    EXPECT_EQ(Out(), "-ixgw -zo+09:00 -d:2011-01-02 -t:03:04:05.123456 " + Cwd + "a.txt" + EOL +
                         "-ixgc -zo+09:00 -d:unknown                       " + Cwd + "a.txt" + EOL +
                         "-ixga -zo+09:00 -d:2012-11-22 -t:13:14:15.999999 " + Cwd + "a.txt" + EOL);
    EXPECT_EQ(Err(),
              EOL + "タイムスタンプ復元設定を作成します。" + EOL + "作成しました。(a.txt)" + EOL);
    EXPECT_FALSE(Rep.HeadingPending);
    // The next item of the operand: no opening message; only the kinds selected.
    Fake().AddFile("b.txt", Rep.Times.Unknown, 0, Local(2001, 2, 3, 4, 5, 6));
    WriteRestoreLines(Item("b.txt", 5));
    EXPECT_EQ(Out(), "-ixgw -zo+09:00 -d:unknown                       " + Cwd + "b.txt" + EOL +
                         "-ixga -zo+09:00 -d:2001-02-03 -t:04:05:06.000000 " + Cwd + "b.txt" + EOL);
    EXPECT_EQ(Err(), "作成しました。(b.txt)" + EOL);
}

TEST_F(Restore, SubSecondDigitsKeepThePathsInOneColumn) {
    Fake().AddFile("a.txt", Local(2011, 1, 2, 3, 4, 5, 9876543), 0, 0);
    for (int digits = 0; digits <= 7; ++digits) {
        Rep.HeadingPending = false;
        WriteRestoreLines(Item("a.txt", 3, digits));
        const std::string time =
            "03:04:05" + (digits ? "." + std::string("9876543").substr(0, digits) : "");
        const std::string unknown =
            "-d:unknown" + std::string(size_t(16 + (digits ? digits + 1 : 0)), ' ');
        const std::string out = Out();
        EXPECT_EQ(out, "-ixgw -zo+09:00 -d:2011-01-02 -t:" + time + " " + Cwd + "a.txt" + EOL +
                           "-ixgc -zo+09:00 " + unknown + Cwd + "a.txt" + EOL)
            << digits;
        EXPECT_EQ(out.find(Cwd), out.rfind(Cwd) - out.find(EOL) - EOL.size()) << digits;
    }
}

TEST_F(Restore, PathsTheReaderWouldCutAreQuoted) {
    EXPECT_EQ(QuotedArgument("plain"), "plain");
    EXPECT_EQ(QuotedArgument("my files"), "\"my files\"");
    EXPECT_EQ(QuotedArgument("a,b"), "\"a,b\"");
    EXPECT_EQ(QuotedArgument("tab\there"), "\"tab\there\"");
    EXPECT_EQ(QuotedArgument("say\"hi\""), "\"say\"\"hi\"\"\"");
    EXPECT_EQ(QuotedArgument("semi;colon"), "semi;colon");

    const TTimeValue stamp = Local(2011, 1, 2, 3, 4, 5);
    Fake().AddFile("b;c.txt", stamp);
    Fake().AddFile("my b;c.txt", stamp);
    Fake().AddFile("x,y.txt", stamp);
    Rep.HeadingPending = false;
    WriteRestoreLines(Item("b;c.txt", 1));
    WriteRestoreLines(Item("my b;c.txt", 1));
    WriteRestoreLines(Item("x,y.txt", 1));
    const std::string time = "-zo+09:00 -d:2011-01-02 -t:03:04:05.000000 ";
    EXPECT_EQ(Out(), "-ixgw -zd0 " + time + Cwd + "b;c.txt" + EOL + "-ixgw -zd0 " + time + "\"" +
                         Cwd + "my b;c.txt\"" + EOL + "-ixgw " + time + "\"" + Cwd + "x,y.txt\"" +
                         EOL);
}

TEST_F(Restore, PreviewNamesTheItemOnly) {
    Fake().AddFile("a.txt", Local(2011, 1, 2, 3, 4, 5));
    TItemStamps item = Item("a.txt", 7);
    item.Options.Preview = true;
    WriteRestoreLines(item);
    EXPECT_EQ(Out(), "作成されます。(a.txt)" + EOL);
    EXPECT_EQ(Err(), EOL + "タイムスタンプ復元設定を作成します。" + EOL);
}

TEST_F(Restore, TheErrorStreamWaitsForTheLinesBeforeIt) {
    Fake().AddFile("a.txt", Local(2011, 1, 2, 3, 4, 5));
    Rep.HeadingPending = false;
    WriteRestoreLines(Item("a.txt", 1));
    // The confirmation went to the error stream only after the line was out.
    EXPECT_EQ(Fake().Out,
              "-ixgw -zo+09:00 -d:2011-01-02 -t:03:04:05.000000 " + Cwd + "a.txt" + EOL);
}

TEST_F(Restore, NoFullPathNoLines) {
    // A relative path in the line would aim at whatever has that path where
    // the lines are read back.
    Fake().AddFile("a.txt", Local(2011, 1, 2, 3, 4, 5));
    Fake().FullPathFails = true;
    for (bool preview : {false, true}) {
        Rep.HeadingPending = true;
        TItemStamps item = Item("a.txt", 1);
        item.Options.Preview = preview;
        WriteRestoreLines(item);
        EXPECT_EQ(Out(), "");
        EXPECT_EQ(Err(), EOL + "タイムスタンプ復元設定を作成します。" + EOL +
                             "Warn.: 復元設定を作成できませんでした。(a.txt)" + EOL +
                             "a.txt: 絶対パスが得られません" + EOL);
    }
}

TEST_F(Restore, NoLinesThatWouldNotBeReadBackAsWritten) {
    const std::string reasonName = "名前に改行文字が含まれています";
    const std::string reasonRange = "が復元できる範囲 (1980 年から 2106 年まで) の外にあります";
    struct TRow {
        std::string Name;
        TTimeValue Write, Access;
        uint8_t Kinds;
        std::string Reason; // empty: the lines are written
    };
    const TTimeValue good = Local(2011, 1, 2, 3, 4, 5);
    const std::vector<TRow> rows = {
        {"line\nbreak.txt", good, good, 1, reasonName},
        {"carriage\rreturn.txt", good, good, 1, reasonName},
        {"old.txt", good, Local(1979, 12, 31, 23, 59, 59, 9999999), 5,
         "アクセス日時" + reasonRange},
        // Only the selected kinds count.
        {"old2.txt", good, Local(1979, 12, 31, 23, 59, 59), 1, ""},
        {"first.txt", Local(1980, 1, 1, 0, 0, 0, 1), good, 1, ""},
        {"late.txt", StampLimit, good, 1, "更新日時" + reasonRange},
        {"last.txt", StampLimit - 1, good, 1, ""},
        {"tab\tdel\x7f.txt", good, good, 1, ""},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Name);
        Fake().AddFile(row.Name, row.Write, 0, row.Access);
        for (bool preview : {false, true}) {
            Rep.HeadingPending = false;
            Rep.ItemsKept = false;
            TItemStamps item = Item(row.Name, row.Kinds);
            item.Options.Preview = preview;
            WriteRestoreLines(item);
            const std::string out = Out(), err = Err();
            if (row.Reason.empty()) {
                EXPECT_NE(out, "");
                EXPECT_FALSE(Rep.ItemsKept);
                continue;
            }
            EXPECT_EQ(out, "");
            EXPECT_EQ(err, "Warn.: 復元設定を作成できませんでした。(" + row.Name + ")" + EOL +
                               row.Name + ": " + row.Reason + EOL);
            EXPECT_TRUE(Rep.ItemsKept);
        }
    }
    if (!HasDriveSyntax) {
        // A wildcard character of a name would match other items when read back.
        Fake().AddFile("star*.txt", good);
        WriteRestoreLines(Item("star*.txt", 1));
        EXPECT_EQ(Out(), "");
        EXPECT_NE(Err().find("名前にワイルドカード文字が含まれています"), std::string::npos);
    }
}

TEST_F(Restore, LinesReadInAnotherZoneOrSeasonGiveTheSameStamps) {
    struct TRow {
        int64_t WrittenAt, ReadAt; // offsets in minutes
    };
    const std::vector<TRow> rows = {
        {9 * 60, 0}, // written in Tokyo, read in UTC
        {60, 120},   // written in winter, read in summer
        {-3 * 60 - 30, 5 * 60 + 45},
        {0, -12 * 60},
    };
    const TTimeValue stamp = Local(2011, 1, 2, 3, 4, 5, 1234567);
    Fake().Now = stamp + TicksPerHour;
    for (const TRow &row : rows) {
        SCOPED_TRACE(std::to_string(row.WrittenAt) + " -> " + std::to_string(row.ReadAt));
        Fake().LocalOffset = row.WrittenAt * int64_t(TicksPerMinute);
        Fake().AddFile("a.txt", stamp, 0, stamp + 1);
        Rep.HeadingPending = false;
        WriteRestoreLines(Item("a.txt", 5, 7));
        Fake().Files["r.txt"] = Out();
        Fake().LocalOffset = row.ReadAt * int64_t(TicksPerMinute);
        const TTokenList list = GatherTokens({"@r.txt"}, TProgramNames{});
        std::vector<TOption> operands = ParseTokens(list.Tokens, list.DefaultCount).Operands;
        ASSERT_EQ(operands.size(), 2u);
        const TRunTimes times = StartTimes();
        TTimeValue restored[2] = {0, 0};
        ComputeNewStamp(operands[0].FileName, skModification, operands[0], times, restored[0]);
        ComputeNewStamp(operands[1].FileName, skAccess, operands[1], times, restored[1]);
        EXPECT_EQ(restored[0], stamp);
        EXPECT_EQ(restored[1], stamp + 1);
    }
}

// A path written with "?" for a character would name other items: lines
// for it need UTF-8 (-zu), or a console, which shows every character.
TEST_F(Restore, APathTheCodePageLacksGetsLinesInUtf8Only) {
    Fake().CodePage = true;
    Fake().AddFile("caf\u00E9.txt", Local(2011, 1, 2, 3, 4, 5));
    const struct { bool Utf8, Terminal; } rows[] = {{false, false}, {true, false}, {false, true}};
    for (const auto &row : rows) {
        TOutput output;
        TReport report{output, {}};
        output.SetUtf8(row.Utf8);
        Fake().OutIsTerminal = row.Terminal;
        TItemStamps item = Item("caf\u00E9.txt", 1);
        ReadPresentStamps(item);
        ::WriteRestoreLines(report, item);
        output.Flush();
        const std::string out = Fake().Out, err = Err();
        Fake().Out.clear();
        if (row.Utf8 || row.Terminal) {
            EXPECT_NE(out.find(Cwd + "caf\u00E9.txt"), std::string::npos) << out;
            EXPECT_FALSE(report.ItemsKept);
            continue;
        }
        EXPECT_EQ(out, "");
        EXPECT_EQ(err, "Warn.: 復元設定を作成できませんでした。(caf\u00E9.txt)" + EOL +
                           "caf\u00E9.txt: パスの文字がシステムのコード ページにありません。"
                           "-zu を指定すると UTF-8 で書き出します (? = U+00E9)" +
                           EOL);
        EXPECT_TRUE(report.ItemsKept);
    }
}

TEST_F(Restore, AVanishedItemGetsNoLinesAndTheRunGoesOn) {
    Rep.HeadingPending = false;
    WriteRestoreLines(Item("gone.txt", 1));
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Err(), "Warn.: 復元設定を作成できませんでした。(gone.txt)" + EOL +
                         "gone.txt: error " + std::to_string(FakeNotFound) + EOL);
    EXPECT_TRUE(Rep.ItemsKept);
}

} // namespace
