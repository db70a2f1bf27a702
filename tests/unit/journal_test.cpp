// The journal of a run and -Undo, on the fake platform: what a journal keeps,
// that a run which cannot keep one changes nothing, and that -Undo gives back
// what the run changed and only that.
#include "cli/parser.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "fake/fake_platform.h"
#include "journal/journal.h"
#include "journal/journal_format.h"
#include "run/run.h"
#include "time_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string Eol = LineEnd;
const std::string Sep(1, PathSeparator);

TTimeValue Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, uint32_t fraction = 0) {
    TTimeValue value = 0;
    TimePartsToFileTime(MakeParts(y, mo, d, h, mi, s, fraction), value);
    return value;
}

class Journal : public ::testing::Test {
protected:
    // The items stand in the current folder under their absolute paths, which
    // is how -Undo names them.
    void SetUp() override {
        Fake().Now = Utc(2024, 1, 15, 12, 0, 0, 1234567);
        Fake().AddFile(Full("a.txt"), Utc(2001, 2, 3, 4, 5, 6, 1), Utc(2000, 1, 1),
                       Utc(2002, 1, 1));
        Fake().AddFile(Full("b.txt"), Utc(2001, 2, 3, 4, 5, 7, 2), Utc(2000, 1, 2),
                       Utc(2002, 1, 2));
        Fake().AddFolder(Full("d"), Utc(2001, 2, 3), Utc(2000, 1, 3), Utc(2002, 1, 3));
        Fake().AddFile(Full(FakePath({"d", "c.txt"})), Utc(2001, 2, 4), Utc(2000, 1, 4),
                       Utc(2002, 1, 4));
        TFakeItem &a = Fake().Item(Full("a.txt"));
        a.LastWriteNanos = 89;
        a.CreationNanos = 1;
        a.LastAccessNanos = 99;
        Before = Stamps();
    }

    int Run(std::vector<std::string> args) {
        Fake().Args = std::move(args);
        Fake().Out.clear();
        Fake().Err.clear();
        Fake().Writes.clear();
        try {
            return RunProgram();
        } catch (...) {
            return ReportUnexpectedError(std::current_exception());
        }
    }

    // Every item's three stamps and the nanoseconds below their ticks, by
    // path relative to the current folder.
    std::map<std::string, std::vector<uint64_t>> Stamps() const {
        std::map<std::string, std::vector<uint64_t>> stamps;
        const size_t root = Full("").size();
        for (const auto &[path, item] : Fake().Items)
            if (path.size() > root)
                stamps[path.substr(root)] = {item.LastWriteTime,  item.CreationTime,
                                             item.LastAccessTime, item.LastWriteNanos,
                                             item.CreationNanos,  item.LastAccessNanos};
        return stamps;
    }
    TFakeItem &Item(const std::string &path) { return Fake().Item(Full(path)); }

    std::string JournalPath(int number) const {
        return Fake().StateFolder + Sep + JournalFileName(uint64_t(number));
    }
    bool HasJournal(int number) const { return Fake().Files.count(JournalPath(number)) != 0; }
    TJournalRun ReadBack(int number) const {
        TJournalRun run;
        EXPECT_TRUE(ParseJournal(Fake().Files.at(JournalPath(number)), run));
        return run;
    }
    std::string Full(const std::string &path) const { return Fake().CurrentFolder + Sep + path; }

    TFakePlatformScope Scope;
    std::map<std::string, std::vector<uint64_t>> Before;
};

} // namespace

TEST(JournalFormat, FieldsKeepEveryByteAndEveryStamp) {
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes += char(c);
    const std::string escaped = EscapeField(bytes + '\0');
    EXPECT_EQ(escaped.find_first_of("\t\r\n"), std::string::npos);
    std::string back;
    ASSERT_TRUE(UnescapeField(escaped, back));
    EXPECT_EQ(back, bytes + '\0');
    EXPECT_EQ(EscapeField("a%b\tc"), "a%25b%09c");

    struct TRow {
        TJournalStamp Stamp;
        std::string Text;
    };
    const std::vector<TRow> rows = {
        {{0, 0}, "-"},
        {{Utc(2024, 1, 15, 12, 0, 0, 1234567), 89}, "2024-01-15T12:00:00.123456789Z"},
        {{1, 0}, "1601-01-01T00:00:00.000000100Z"},
        {{Utc(9999, 12, 31, 23, 59, 59, 9999999), 99}, "9999-12-31T23:59:59.999999999Z"},
        // No calendar form of four digits: the tick count.
        {{Utc(10000, 1, 1), 0}, "@" + std::to_string(Utc(10000, 1, 1)) + ".00"},
        {{(1ULL << 63) + 5, 7}, "@9223372036854775813.07"},
        {{UINT64_MAX - 3, 55}, "@18446744073709551612.55"},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(StampField(row.Stamp), row.Text);
        TJournalStamp read{9, 9};
        EXPECT_TRUE(ReadStampField(row.Text, read));
        EXPECT_EQ(read, row.Stamp);
    }
    for (const std::string bad :
         {"", "2024-01-15T12:00:00.1234567Z", "2024-13-01T12:00:00.000000000Z",
          "2024-01-15 12:00:00.000000000Z", "2024-01-15T12:00:00.000000000", "@", "@0.00", "+"}) {
        TJournalStamp read;
        EXPECT_FALSE(ReadStampField(bad, read)) << bad;
    }
    for (const std::string bad : {"%", "%4", "%G0", "a\tb", "a\nb"}) {
        std::string text;
        EXPECT_FALSE(UnescapeField(bad, text)) << bad;
    }
}

TEST(JournalFormat, ReadingBackStopsBeforeALineWrittenInPart) {
    TJournalItem item;
    item.Path = "/x/y z\t.txt";
    item.IsFolder = true;
    item.LinkItself = true;
    item.Old[0] = {Utc(2001, 1, 1), 12};
    item.Old[2] = {Utc(2002, 1, 1), 0};
    item.New[0] = {Utc(2020, 1, 1), 0};
    const std::string head = HeaderLines(Utc(2024, 1, 15), "kelvard", "/work", {"-r", "a b"});
    const std::string line = ItemLine(item);
    TJournalRun run;
    ASSERT_TRUE(ParseJournal(head + line + "later\tkind" + Eol + line.substr(0, 40), run));
    EXPECT_EQ(run.Start, Utc(2024, 1, 15));
    EXPECT_EQ(run.Program, "kelvard");
    EXPECT_EQ(run.Folder, "/work");
    EXPECT_EQ(run.Arguments, (std::vector<std::string>{"-r", "a b"}));
    ASSERT_EQ(run.Items.size(), 1u);
    const TJournalItem &read = run.Items[0];
    EXPECT_EQ(read.Path, item.Path);
    EXPECT_TRUE(read.IsFolder && read.LinkItself);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(read.Old[k], item.Old[k]);
        EXPECT_EQ(read.New[k], item.New[k]);
    }
    EXPECT_FALSE(run.Ended || run.Undone);
    TJournalRun ended;
    ASSERT_TRUE(
        ParseJournal(head + line + EndLine(130, true) + UndoneLine(Utc(2025, 1, 1), 0), ended));
    EXPECT_TRUE(ended.Ended && ended.Interrupted && ended.Undone);
    EXPECT_EQ(ended.ExitCode, 130);
    // No journal, or an item line that cannot be read: not taken for one.
    TJournalRun other;
    EXPECT_FALSE(ParseJournal("kelvard journal 2" + Eol, other));
    EXPECT_FALSE(ParseJournal(head + "item\tf\t-" + Eol, other));
    EXPECT_FALSE(ParseJournal(head + "item\tx" + line.substr(6), other));
}

TEST_F(Journal, RunThenUndoGivesBackEveryStamp) {
    ASSERT_EQ(Run({"-w", "-c", "-a", "-r", "-f1", "-d2020-01-01", Full("*")}), 0);
    EXPECT_NE(Stamps(), Before);
    const TJournalRun run = ReadBack(1);
    EXPECT_TRUE(run.Ended);
    ASSERT_EQ(run.Items.size(), 4u);
    EXPECT_EQ(run.Items[0].Path, Full("a.txt"));
    EXPECT_EQ(run.Items[0].Old[skCreation].Value, Utc(2000, 1, 1));
    EXPECT_NE(run.Items[0].New[skCreation].Value, 0u);

    EXPECT_EQ(Run({"-Undo"}), 0);
    EXPECT_EQ(Stamps(), Before);
    EXPECT_TRUE(ReadBack(1).Undone);
    // Reported as any run, the items in reverse order.
    const std::string out = Fake().Out;
    EXPECT_EQ(out.find(Eol + "実行 1 (2024-01-15 "), 0u) << out;
    EXPECT_LT(out.find("変更しました。(" + Full(FakePath({"d", "c.txt"})) + ")"),
              out.find("変更しました。(" + Full("a.txt") + ")"));
    EXPECT_EQ(Run({"-Undo"}), 1);
    EXPECT_EQ(Fake().Err.substr(Fake().Err.find("Error")),
              "Error: 取り消せる実行がありません。" + Eol);
}

TEST_F(Journal, UndoLeavesWhatChangedSinceTheRun) {
    ASSERT_EQ(Run({"-w", "-a", "-d2020-01-01", Full("*.txt")}), 0);
    const auto written = Stamps();
    struct TRow {
        std::string Name;
        std::function<void(TFakeItem &)> Change;
        bool Restored;
    };
    const std::vector<TRow> rows = {
        {"modified", [](TFakeItem &i) { i.LastWriteTime += TicksPerSecond * 5; }, false},
        {"created again", [](TFakeItem &i) { i.CreationTime += 1; }, true}, // not written
        {"read", [](TFakeItem &i) { i.LastAccessTime += TicksPerHour; }, true},
        // A file system that keeps whole seconds cut the stamp written.
        {"cut by the file system", [](TFakeItem &i) { i.LastWriteTime -= TicksPerSecond; }, true},
        {"written back already",
         [&](TFakeItem &i) {
             i.LastWriteTime = Before["a.txt"][0];
             i.LastWriteNanos = uint8_t(Before["a.txt"][3]);
         },
         true},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Name);
        for (const auto &[path, stamps] : written) {
            Item(path).LastWriteTime = stamps[0];
            Item(path).CreationTime = stamps[1];
            Item(path).LastAccessTime = stamps[2];
        }
        row.Change(Item("a.txt"));
        const auto changed = Stamps();
        ASSERT_EQ(Run({"-Undo", "-v"}), row.Restored ? 0 : 2);
        EXPECT_EQ(Stamps(), changed); // a preview changes nothing
        if (row.Restored)
            continue;
        EXPECT_NE(Fake().Out.find("Warn.: 変更できませんでした。(" + Full("a.txt") + ")"),
                  std::string::npos);
        EXPECT_EQ(Fake().Err.substr(Fake().Err.rfind(Full("a.txt"))),
                  Full("a.txt") + ": 実行の後で変更されています" + Eol);
    }
    // The preview did not mark the run: it is taken back now, the changed item left.
    Item("a.txt").LastWriteTime += TicksPerSecond * 5;
    const uint64_t kept = Item("a.txt").LastWriteTime;
    ASSERT_EQ(Run({"-Undo"}), 2);
    EXPECT_EQ(Item("a.txt").LastWriteTime, kept);
    EXPECT_EQ(Item("b.txt").LastWriteTime, Before["b.txt"][0]);
    EXPECT_EQ(Item("b.txt").LastAccessTime, Before["b.txt"][2]);
    EXPECT_TRUE(ReadBack(1).Undone);
}

TEST_F(Journal, UndoTakesBackOneRunAfterAnotherOrTheOneChosen) {
    ASSERT_EQ(Run({"-d2020-01-01", Full("a.txt")}), 0);
    const auto first = Stamps();
    ASSERT_EQ(Run({"-d2021-01-01", Full("a.txt"), Full("b.txt")}), 0);
    ASSERT_EQ(Run({"-d2022-01-01", Full("b.txt")}), 0);
    ASSERT_EQ(Run({"-Undo", "list"}), 0);
    const std::string list = Fake().Out;
    EXPECT_LT(list.find("     3  "), list.find("     2  "));
    EXPECT_NE(list.find("        " + std::string(HasDriveSyntax ? "Kelvard" : "kelvard") +
                        " -d2021-01-01 " + Full("a.txt") + " " + Full("b.txt") + Eol),
              std::string::npos)
        << list;
    // The one chosen first; then the latest not taken back, and the one before.
    ASSERT_EQ(Run({"-Undo", "3"}), 0);
    EXPECT_EQ(Run({"-Undo", "3"}), 1);
    EXPECT_NE(Fake().Err.find("Error: 実行 3 は取り消し済みです。"), std::string::npos);
    EXPECT_EQ(Run({"-Undo", "7"}), 1);
    EXPECT_NE(Fake().Err.find("Error: 実行 7 の記録がありません。"), std::string::npos);
    ASSERT_EQ(Run({"-Undo"}), 0);
    EXPECT_EQ(Stamps(), first);
    ASSERT_EQ(Run({"-Undo"}), 0);
    EXPECT_EQ(Stamps(), Before);
    ASSERT_EQ(Run({"-Undo", "list"}), 0);
    EXPECT_EQ(std::count(Fake().Out.begin(), Fake().Out.end(), '\n'), 6) << Fake().Out;
    const std::string items = " 項目  ";
    EXPECT_EQ(Fake().Out.find("取り消し済み"), Fake().Out.find(items) + items.size()) << Fake().Out;
}

TEST_F(Journal, ARunThatCannotKeepItsJournalChangesNothing) {
    struct TRow {
        std::string Name;
        std::function<void()> Break;
        std::string Error;
    };
    const std::string file = JournalPath(1);
    const std::string cannot = "ジャーナルを作成できません。何も変更していません。" + Eol;
    const std::string stateVariables = HasDriveSyntax ? "%LOCALAPPDATA%" : "$XDG_STATE_HOME, $HOME";
    const std::vector<TRow> rows = {
        {"no state folder", [] { Fake().NoStateFolder = true; },
         "ジャーナルの保存先フォルダが分かりません。" + Eol + stateVariables + ": error 13"},
        {"the folder cannot be made", [] { Fake().FailMakeFolder = true; },
         cannot + Fake().StateFolder + ": error 13"},
        {"the file cannot be made", [] { Fake().FailOpenAppend = true; },
         cannot + file + ": error 13"},
        {"the disk is full", [] { Fake().AppendsLeft = 0; }, cannot + file + ": error 13"},
        // The first record cannot be written: its item keeps its stamps.
        {"full after the header", [] { Fake().AppendsLeft = 1; },
         "ジャーナルに書き込めません。" + Eol + file + ": error 13"},
    };
    Fake().FailCode = 13;
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Name);
        row.Break();
        EXPECT_EQ(Run({"-d2020-01-01", Full("*.txt")}), 1);
        EXPECT_EQ(Fake().Err.substr(Fake().Err.find("Error")), "Error: " + row.Error + Eol);
        EXPECT_TRUE(Fake().Writes.empty());
        EXPECT_EQ(Fake().OpenFiles, 0);
        // Without the journal the run goes on as before.
        EXPECT_EQ(Run({"-zj0", "-d2020-01-01", Full("*.txt")}), 0);
        EXPECT_EQ(Fake().Writes.size(), 2u);
        Fake().NoStateFolder = Fake().FailMakeFolder = Fake().FailOpenAppend = false;
        Fake().AppendsLeft = -1;
        Fake().Files.clear();
    }
}

TEST_F(Journal, OnlyARunThatChangesSomethingLeavesOne) {
    struct TRow {
        std::vector<std::string> Args;
        int Code;
        bool Kept;
    };
    const std::vector<TRow> rows = {
        {{"-v", Full("a.txt")}, 0, false},
        {{"-e", Full("a.txt")}, 0, false},
        {{"-zj0", Full("a.txt")}, 0, false},
        {{"missing"}, 1, false},
        {{"-c", Full("a.txt")}, 0, true},
        {{"-x", "-v", Full("a.txt"), "-v", Full("b.txt")}, 0, true},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Args[0] + " " + row.Args.back());
        Fake().Files.clear();
        EXPECT_EQ(Run(row.Args), row.Code);
        EXPECT_EQ(HasJournal(1), row.Kept);
    }
    // An item whose absolute path cannot be had would be lost to -Undo: it is kept.
    Fake().FullPathFails = true;
    EXPECT_EQ(Run({Full("a.txt")}), 2);
    EXPECT_TRUE(Fake().Writes.empty());
    EXPECT_NE(Fake().Err.find("a.txt: 絶対パスが得られないため、取り消しのための記録ができません"),
              std::string::npos)
        << Fake().Err;
}

TEST_F(Journal, AnInterruptEndsTheRunAfterTheItemsInHand) {
    for (int i = 0; i < 100; ++i)
        Fake().AddFile(Full(FakePath({"d", "f" + std::to_string(i) + ".txt"})), Utc(2001, 2, 5));
    Before = Stamps();
    Fake().InterruptAfterWrites = 2; // comes while the second item is written
    EXPECT_EQ(Run({"-d2020-01-01", "-r", Full("*")}), 130);
    EXPECT_EQ(Fake().Err.substr(Fake().Err.find("Error")), "Error: 中断しました。" + Eol);
    const TJournalRun run = ReadBack(1);
    EXPECT_TRUE(run.Ended && run.Interrupted);
    EXPECT_EQ(run.ExitCode, 130);
    // The items in hand are finished, nothing more: report, journal and
    // stamps tell the same items.
    EXPECT_GE(Fake().Writes.size(), 2u);
    EXPECT_LT(Fake().Writes.size(), 50u);
    EXPECT_EQ(run.Items.size(), Fake().Writes.size());
    for (const TFakeWrite &write : Fake().Writes) {
        EXPECT_NE(Fake().Out.find("変更しました。(" + write.Path + ")"), std::string::npos);
        EXPECT_EQ(std::count_if(run.Items.begin(), run.Items.end(),
                                [&](const TJournalItem &item) { return item.Path == write.Path; }),
                  1);
    }
    EXPECT_EQ(size_t(std::count(Fake().Out.begin(), Fake().Out.end(), '\n')),
              2 + Fake().Writes.size());
    Fake().InterruptAfterWrites = 0;
    EXPECT_EQ(Run({"-Undo"}), 0);
    EXPECT_EQ(Stamps(), Before);
}

TEST_F(Journal, TheOldestJournalsGo) {
    struct TRow {
        int Runs;
        uint64_t Size; // of each earlier journal
        int Oldest;    // the oldest kept
    };
    const std::vector<TRow> rows = {
        {10, 1000, 1},
        {60, 1000, 12},            // 50 runs, this one included
        {10, 60 * 1024 * 1024, 8}, // 200 MB: three of 60 MB and this one
        {3, 300 * 1024 * 1024, 4}, // this one is always kept
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(std::to_string(row.Runs) + " of " + std::to_string(row.Size));
        Fake().Files.clear();
        Fake().ListedSizes.clear();
        Fake().Folders.insert(Fake().StateFolder);
        for (int i = 1; i <= row.Runs; ++i) {
            Fake().Files[JournalPath(i)] = "kelvard journal 1" + Eol;
            Fake().ListedSizes[JournalPath(i)] = row.Size;
        }
        ASSERT_EQ(Run({Full("a.txt")}), 0);
        ASSERT_TRUE(HasJournal(row.Runs + 1));
        for (int i = 1; i <= row.Runs; ++i)
            EXPECT_EQ(HasJournal(i), i >= row.Oldest) << i;
    }
}

TEST(UndoArguments, Forms) {
    TFakePlatformScope scope;
    struct TRow {
        std::vector<std::string> Args;
        std::string Read; // "" for an error, else preview/list/number (and 1 for -zu)
    };
    const std::vector<TRow> rows = {
        {{"-Undo"}, "0 0 0"},
        {{"-UNDO", "-v"}, "1 0 0"},
        {{"-undo", "LIST"}, "0 1 0"},
        {{"-Undo", "12", "-V"}, "1 0 12"},
        {{"-Undo", "list", "3"}, ""},
        {{"-Undo", "0"}, ""},
        {{"-Undo", "-v", "-v"}, ""},
        {{"-Undo", "-r"}, ""},
        {{"-Undo", "x"}, ""},
        {{"-Undo", "1234567890123"}, ""},
        {{"-Undo", "-zu", "list"}, "0 1 0 1"},
        {{"-Undo", "-zu", "-zu"}, ""},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Args.back());
        EXPECT_TRUE(IsUndoForm(row.Args[0]));
        std::string read;
        try {
            const TUndoRequest request = ReadUndoArguments(row.Args);
            read = std::to_string(request.Preview) + " " + std::to_string(request.List) + " " +
                   std::to_string(request.Number) + (request.Utf8 ? " 1" : "");
        } catch (const EAppError &) {
        }
        EXPECT_EQ(read, row.Read);
    }
    EXPECT_EQ(IsUndoForm("/undo"), SlashStartsSwitch);
    EXPECT_EQ(IsUndoForm("--undo"), !HasDriveSyntax);
    EXPECT_FALSE(IsUndoForm("-undox"));
    EXPECT_FALSE(IsUndoForm("undo"));
}
