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
#include <cstdio>
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
        // Before 1601 (natively a file of the year 1500): a negative count.
        {{(1ULL << 63) + 5, 7}, "@-9223372036854775803.07"},
        {{UINT64_MAX - 3, 55}, "@-4.55"},
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
          "2024-01-15 12:00:00.000000000Z", "2024-01-15T12:00:00.000000000", "@", "@0.00", "+",
          "@-0.00", "@9223372036854775808.00", "@-9223372036854775809.00", "@5.100"}) {
        TJournalStamp read;
        EXPECT_FALSE(ReadStampField(bad, read)) << bad;
    }
    for (const std::string bad : {"%", "%4", "%G0", "a\tb", "a\nb"}) {
        std::string text;
        EXPECT_FALSE(UnescapeField(bad, text)) << bad;
    }
}

// The check of every line is the common CRC-32 (journals written before stay
// readable): its published value, and a bit-by-bit reckoning at every length
// and start around the eight-byte steps.
TEST(JournalFormat, TheLineCheckIsTheCommonCrc32) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("", 0), 0u);
    std::string bytes;
    for (int i = 0; i < 64; ++i)
        bytes += char(i * 37 + 11);
    for (size_t start = 0; start < 8; ++start)
        for (size_t size = 0; start + size <= bytes.size(); ++size) {
            uint32_t crc = 0xFFFFFFFFu;
            for (size_t i = start; i < start + size; ++i) {
                crc ^= static_cast<unsigned char>(bytes[i]);
                for (int k = 0; k < 8; ++k)
                    crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
            }
            ASSERT_EQ(Crc32(bytes.data() + start, size), ~crc) << start << "+" << size;
        }
    // In pieces, as one.
    EXPECT_EQ(Crc32(bytes.data() + 13, 40, Crc32(bytes.data(), 13)), Crc32(bytes.data(), 53));
}

// A line as the writer ends it: its text and its check.
std::string Checked(const std::string &text) {
    char check[16];
    std::snprintf(check, sizeof check, "\t#%08X", unsigned(Crc32(text.data(), text.size())));
    return text + check + Eol;
}

// Records made one after another on one thread, as a run makes them: stamps
// that share a day, a value with other nanoseconds, a stamp of the line
// before, one with no calendar form, a path given in two parts. Each record
// reads back as its own item, whatever the records before it held.
TEST(JournalFormat, RecordsOneAfterAnotherKeepTheirOwnStamps) {
    const TJournalStamp pool[] = {
        {Utc(2024, 1, 15, 12, 0, 0, 1234567), 89},
        {Utc(2024, 1, 15, 12, 0, 0, 1234567), 88},
        {Utc(2024, 1, 15, 23, 59, 59, 9999999), 0},
        {Utc(2024, 1, 16), 0},
        {Utc(2011, 3, 15, 12), 0},
        {Utc(10000, 1, 1), 3},
        {(1ULL << 63) + 5, 7},
        {0, 0},
    };
    const size_t count = sizeof pool / sizeof pool[0];
    std::vector<TJournalItem> items;
    std::string text = HeaderLines(Utc(2024, 1, 15), "kelvard", "/work", {});
    uint32_t seed = 7;
    for (int i = 0; i < 200; ++i) {
        TJournalItem item;
        for (int k = 0; k < 3; ++k) {
            seed = seed * 1103515245u + 12345u;
            item.Old[k] = pool[(seed >> 16) % count];
            item.New[k] = pool[(seed >> 8) % count];
        }
        item.VolumeId = 2049;
        item.FileId = uint64_t(i) * 1000003;
        item.Path = "/work/";
        const std::string tail = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt";
        AppendItemLine(text, item, tail);
        item.Path += tail;
        items.push_back(item);
    }
    TJournalRun run;
    ASSERT_TRUE(ParseJournal(text, run));
    EXPECT_TRUE(run.Damaged.empty());
    ASSERT_EQ(run.Items.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(run.Items[i].Path, items[i].Path);
        EXPECT_EQ(run.Items[i].FileId, items[i].FileId);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(run.Items[i].Old[k], items[i].Old[k]);
            EXPECT_EQ(run.Items[i].New[k], items[i].New[k]);
        }
        // The same text as the stamp's field made alone.
        const std::string line = ItemLine(items[i]);
        EXPECT_NE(line.find("\t" + StampField(items[i].Old[1]) + "\t"), std::string::npos);
    }
}

TEST(JournalFormat, ReadingBackTrustsOnlyWholeCheckedLines) {
    TJournalItem item;
    item.Path = "/x/y z\t.txt";
    item.IsFolder = true;
    item.LinkItself = true;
    item.Old[0] = {Utc(2001, 1, 1), 12};
    item.Old[2] = {Utc(2002, 1, 1), 0};
    item.New[0] = {Utc(2020, 1, 1), 0};
    item.VolumeId = 2049;
    item.FileId = 1234567;
    const std::string head = HeaderLines(Utc(2024, 1, 15), "kelvard", "/work", {"-r", "a b"});
    const std::string line = ItemLine(item);
    TJournalRun run;
    ASSERT_TRUE(ParseJournal(head + line + Checked("later\tkind") + line.substr(0, 40), run));
    EXPECT_EQ(run.Start, Utc(2024, 1, 15));
    EXPECT_EQ(run.Program, "kelvard");
    EXPECT_EQ(run.Folder, "/work");
    EXPECT_EQ(run.Arguments, (std::vector<std::string>{"-r", "a b"}));
    ASSERT_EQ(run.Items.size(), 1u);
    const TJournalItem &read = run.Items[0];
    EXPECT_EQ(read.Path, item.Path);
    EXPECT_TRUE(read.IsFolder && read.LinkItself);
    EXPECT_EQ(read.VolumeId, 2049u);
    EXPECT_EQ(read.FileId, 1234567u);
    EXPECT_EQ(read.Line, 6u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(read.Old[k], item.Old[k]);
        EXPECT_EQ(read.New[k], item.New[k]);
    }
    EXPECT_FALSE(run.Ended || run.Undone);
    EXPECT_TRUE(run.CutLastLine);
    EXPECT_EQ(run.WholeSize, head.size() + line.size() + Checked("later\tkind").size());
    EXPECT_TRUE(run.Damaged.empty());
    TJournalRun ended;
    ASSERT_TRUE(ParseJournal(
        head + line + EndLine(130, true) + TakenLine(6) + UndoneLine(Utc(2025, 1, 1), 0), ended));
    EXPECT_TRUE(ended.Ended && ended.Interrupted && ended.Undone && !ended.CutLastLine);
    EXPECT_EQ(ended.ExitCode, 130);
    EXPECT_EQ(ended.Taken, (std::vector<size_t>{6}));
    EXPECT_FALSE(ended.Open());

    // Any byte of a line changed: that line is not trusted, the others are.
    // The earlier format is told as such; anything else is no journal.
    struct TRow {
        std::string Name, Text;
        bool Journal;
        size_t Items;
        std::vector<size_t> Damaged;
    };
    std::string digit = line, path = line, check = line;
    digit[digit.find("2001") + 3] = '2';
    path[path.find("y z")] = 'Y';
    check[check.size() - Eol.size() - 1] ^= 1;
    const std::vector<TRow> rows = {
        {"a digit of a stamp", head + digit + line, true, 1, {6}},
        {"a letter of the path", head + path + line, true, 1, {6}},
        {"the check itself", head + line + check, true, 1, {7}},
        {"no check", head + line.substr(0, line.rfind('\t')) + Eol, true, 0, {6}},
        {"a damaged header line",
         head.substr(0, head.find("start") + 3) + "x" + head.substr(head.find("start") + 4) + line,
         true,
         1,
         {2}},
        {"a checked line that reads as no item", head + Checked("item\tf\t-"), true, 0, {6}},
        {"the earlier format", "kelvard journal 1" + Eol + "item\t..." + Eol, true, 0, {}},
        {"a later format", Checked("kelvard journal 3") + line, false, 0, {}},
        {"a signature without its check", "kelvard journal 2" + Eol + line, false, 0, {}},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Name);
        TJournalRun other;
        EXPECT_EQ(ParseJournal(row.Text, other), row.Journal);
        if (!row.Journal)
            continue;
        EXPECT_EQ(other.OldFormat, row.Name == "the earlier format");
        EXPECT_EQ(other.Items.size(), row.Items);
        EXPECT_EQ(other.Damaged, row.Damaged);
        EXPECT_EQ(other.Open(), !row.Damaged.empty() || row.Items != 0);
    }
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

TEST_F(Journal, UndoWritesOnlyToTheItemTheRunChangedAsTheRunLeftIt) {
    // Each row: what happened to a.txt after the run, on which volume, and
    // whether -Undo gives its stamps back (b.txt always comes back).
    struct TRow {
        std::string Name;
        std::string FileSystem;
        std::function<void(TFakeItem &)> Change;
        std::string Reason; // empty: given back
    };
    const std::string changed = "実行の後で変更されています";
    const std::string another = "実行で変更した項目ではありません (別の項目に置き換えられています)";
    const std::vector<TRow> rows = {
        {"untouched", "NTFS", [](TFakeItem &) {}, ""},
        {"modified", "NTFS", [](TFakeItem &i) { i.LastWriteTime += TicksPerSecond * 5; }, changed},
        {"one tick later", "NTFS", [](TFakeItem &i) { i.LastWriteTime += 1; }, changed},
        {"one nanosecond later", "NTFS", [](TFakeItem &i) { ++i.LastWriteNanos; }, changed},
        {"read since (the run wrote the access stamp)", "NTFS",
         [](TFakeItem &i) { i.LastAccessTime += TicksPerHour; }, changed},
        // Natively the birth tells the item; Windows tells it by its file index.
        {"another birth", "NTFS", [](TFakeItem &i) { i.CreationTime += 1; },
         HasDriveSyntax ? "" : another},
        {"a stamp no longer exact", "NTFS", [](TFakeItem &i) { i.InexactStamps = 1; }, changed},
        {"another item of the same name", "NTFS", [](TFakeItem &i) { i.Id += 1000; }, another},
        {"now a folder", "NTFS", [](TFakeItem &i) { i.IsFolder = true; }, another},
        // The volume keeps even seconds: the odd second the run wrote was cut.
        {"cut by a FAT volume", "FAT32", [](TFakeItem &i) { i.LastWriteTime -= TicksPerSecond; },
         ""},
        // Linux numbers FAT items afresh at every mount: there the birth
        // alone tells the item.
        {"numbered afresh on a FAT volume", "FAT32", [](TFakeItem &i) { i.Id += 1000; },
         HasDriveSyntax ? another : ""},
        {"another birth on a FAT volume", "exFAT", [](TFakeItem &i) { i.CreationTime += 1; },
         HasDriveSyntax ? "" : another},
        {"cut by a volume that keeps every tick", "NTFS",
         [](TFakeItem &i) { i.LastWriteTime -= TicksPerSecond; }, changed},
        {"given back already", "NTFS",
         [&](TFakeItem &i) {
             i.LastWriteTime = Before["a.txt"][0];
             i.LastAccessTime = Before["a.txt"][2];
             i.LastWriteNanos = uint8_t(Before["a.txt"][3]);
             i.LastAccessNanos = uint8_t(Before["a.txt"][5]);
         },
         ""},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Name);
        Fake().Files.clear();
        Fake().DefaultFileSystem = row.FileSystem;
        for (const auto &[path, stamps] : Before) {
            TFakeItem &item = Item(path);
            item.LastWriteTime = stamps[0];
            item.CreationTime = stamps[1];
            item.LastAccessTime = stamps[2];
            item.LastWriteNanos = uint8_t(stamps[3]);
            item.CreationNanos = uint8_t(stamps[4]);
            item.LastAccessNanos = uint8_t(stamps[5]);
        }
        const uint64_t id = Item("a.txt").Id;
        // Rounding off: the run writes the odd second as it stands.
        ASSERT_EQ(Run({"-zr0", "-w", "-a", "-d2020-01-01", "-t12:00:01", Full("*.txt")}), 0);
        row.Change(Item("a.txt"));
        const auto left = Stamps();
        ASSERT_EQ(Run({"-Undo", "-v"}), row.Reason.empty() ? 0 : 2);
        EXPECT_EQ(Stamps(), left); // a preview changes nothing
        EXPECT_EQ(Run({"-Undo"}), row.Reason.empty() ? 0 : 2);
        EXPECT_EQ(Stamps()["b.txt"], Before["b.txt"]);
        if (row.Reason.empty()) {
            auto expected = Before["a.txt"];
            if (row.Name.rfind("another birth", 0) == 0)
                expected[1] += 1; // not written by the run: not written back
            EXPECT_EQ(Stamps()["a.txt"], expected);
            EXPECT_TRUE(ReadBack(1).Undone);
        } else {
            EXPECT_EQ(Stamps()["a.txt"], left.at("a.txt"));
            EXPECT_NE(Fake().Out.find("Warn.: 変更できませんでした。(" + Full("a.txt") + ")"),
                      std::string::npos);
            EXPECT_EQ(Fake().Err.substr(Fake().Err.rfind(Full("a.txt"))),
                      Full("a.txt") + ": " + row.Reason + Eol);
            // Open for the item it did not reach; b.txt is not written twice.
            const TJournalRun run = ReadBack(1);
            EXPECT_FALSE(run.Undone);
            EXPECT_EQ(run.Taken.size(), 1u);
            Fake().Writes.clear();
            EXPECT_EQ(Run({"-Undo"}), 2);
            EXPECT_TRUE(Fake().Writes.empty());
        }
        Item("a.txt").Id = id;
        Item("a.txt").IsFolder = false;
        Item("a.txt").InexactStamps = 0;
    }
}

TEST_F(Journal, UndoNeverGoesThroughALinkOnTheWay) {
    ASSERT_EQ(Run({"-r", "-f1", "-d2020-01-01", Full("*")}), 0);
    // The folder d is swapped for a link (on Windows a junction) since, an
    // item of its own.
    Item("d").IsLink = true;
    Item("d").Id += 1000;
    EXPECT_EQ(Run({"-Undo"}), 2);
    const std::string c = Full(FakePath({"d", "c.txt"}));
    EXPECT_NE(Fake().Out.find("Warn.: 変更できませんでした。(" + c + ")"), std::string::npos);
    EXPECT_NE(Fake().Err.find(c + ": error " + std::to_string(HasDriveSyntax ? 4395 : 40)),
              std::string::npos)
        << Fake().Err;
    EXPECT_EQ(Stamps()["a.txt"], Before["a.txt"]);
    EXPECT_NE(Stamps()[FakePath({"d", "c.txt"})], Before[FakePath({"d", "c.txt"})]);
    EXPECT_NE(Stamps()["d"], Before["d"]);
    Item("d").IsLink = false;
    Item("d").Id -= 1000;
    EXPECT_EQ(Run({"-Undo"}), 0);
    EXPECT_EQ(Stamps(), Before);
}

TEST_F(Journal, MarksAreAppendedToWholeLinesOnly) {
    ASSERT_EQ(Run({"-d2020-01-01", Full("a.txt"), Full("b.txt")}), 0);
    // A write cut short (the disk was full) left part of a line.
    Fake().Files[JournalPath(1)] += "end\t1\td";
    EXPECT_EQ(Run({"-Undo", "list"}), 0);
    EXPECT_EQ(Run({"-Undo"}), 0);
    EXPECT_EQ(Stamps(), Before);
    const std::string &text = Fake().Files[JournalPath(1)];
    EXPECT_EQ(text.find("end\t1\td"), std::string::npos);
    TJournalRun run;
    ASSERT_TRUE(ParseJournal(text, run));
    EXPECT_TRUE(run.Damaged.empty() && run.Undone && !run.CutLastLine);
    EXPECT_EQ(run.Taken, (std::vector<size_t>{6, 7}));
}

TEST_F(Journal, AStateFolderThatIsNotTheUsersAloneIsNeverUsed) {
    const std::string above = Fake().StateFolder.substr(0, Fake().StateFolder.rfind(PathSeparator));
    struct TRow {
        std::string Path;
        TOwnership Ownership;
        std::string Problem;
    };
    const std::vector<TRow> rows = {
        {Fake().StateFolder, owLink, "リンクです"},
        {Fake().StateFolder, owOthersWrite, "ほかのユーザーも書き込めます"},
        {above, owOthersWrite, "ほかのユーザーも書き込めます"},
        {above, owOtherOwner, "所有者が別のユーザーです"},
        {JournalPath(1), owOtherOwner, "所有者が別のユーザーです"}, // a journal planted
    };
    ASSERT_EQ(Run({"-d2020-01-01", Full("a.txt")}), 0);
    const auto written = Stamps();
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Path + " " + row.Problem);
        Fake().Ownership = {{row.Path, row.Ownership}};
        const bool file = row.Path == JournalPath(1);
        const std::string error =
            file ? "ジャーナルを信頼できません" : "ジャーナルの保存先フォルダを信頼できません";
        for (const std::vector<std::string> &args :
             {std::vector<std::string>{"-Undo"}, std::vector<std::string>{"-Undo", "list"},
              std::vector<std::string>{"-d2022-01-01", Full("b.txt")}}) {
            if (file && args.size() == 2 && args[0] != "-Undo")
                continue; // a run reads no journal
            EXPECT_EQ(Run(args), 1) << args.back();
            EXPECT_EQ(Fake().Err.substr(Fake().Err.find("Error")),
                      "Error: " + error + "。" + Eol + row.Path + ": " + row.Problem + Eol);
            EXPECT_EQ(Stamps(), written);
        }
    }
    // A name in the way is passed over: the next run takes the next number.
    Fake().Ownership.clear();
    Fake().Files[JournalPath(2)] = "";
    Fake().Ownership[JournalPath(2)] = owLink;
    Fake().ListedSizes.clear();
    ASSERT_EQ(Run({"-d2022-01-01", Full("b.txt")}), 0);
    EXPECT_TRUE(HasJournal(3));
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
    // An item that -Undo could not give back is kept: its absolute path, or
    // its identity, cannot be had, or a stamp it would need back has no
    // exact value (natively a file of the year 1500 on tmpfs, say).
    struct TUnrecorded {
        std::function<void()> Break;
        std::string Reason;
    };
    const std::vector<TUnrecorded> unrecorded = {
        {[] { Fake().FullPathFails = true; }, "絶対パスが得られないため"},
        {[this] { Item("a.txt").Id = 0; }, "項目の識別情報が得られないため"},
        {[this] { Item("a.txt").InexactStamps = 1; }, "日時が記録できる範囲の外にあるため"},
        {[this] { Item("a.txt").InexactStamps = 2; }, "日時が記録できる範囲の外にあるため"},
    };
    for (const TUnrecorded &row : unrecorded) {
        SCOPED_TRACE(row.Reason);
        const uint64_t id = Item("a.txt").Id;
        row.Break();
        EXPECT_EQ(Run({Full("a.txt")}), 2);
        EXPECT_TRUE(Fake().Writes.empty());
        EXPECT_NE(Fake().Err.find(Full("a.txt") + ": " + row.Reason +
                                  "、取り消しのための記録ができません"),
                  std::string::npos)
            << Fake().Err;
        Fake().FullPathFails = false;
        Item("a.txt").Id = id;
        Item("a.txt").InexactStamps = 0;
    }
    // The access stamp alone out of range, and not written: nothing needs it back.
    Item("a.txt").InexactStamps = 4;
    EXPECT_EQ(Run({Full("a.txt")}), 0);
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
        std::string Read; // preview/list/number (and 1 for -zu), or the error's cause
    };
    const std::string twice = ": -Undo の後に二度書かれています";
    const std::string both = ": list と実行の番号は一緒には書けません";
    const std::string other = ": -Undo の後に書けるのは -v、-zu、list と実行の番号だけです";
    const std::vector<TRow> rows = {
        {{"-Undo"}, "0 0 0"},
        {{"-UNDO", "-v"}, "1 0 0"},
        {{"-undo", "LIST"}, "0 1 0"},
        {{"-Undo", "12", "-V"}, "1 0 12"},
        {{"-Undo", "007"}, "0 0 7"},
        {{"-Undo", "-zu", "list"}, "0 1 0 1"},
        {{"-Undo", "list", "3"}, "3" + both},
        {{"-Undo", "3", "list"}, "list" + both},
        {{"-Undo", "0"}, "0: 実行の番号は 1 からです"},
        {{"-Undo", "1234567890123"}, "1234567890123: 実行の番号が大きすぎます"},
        {{"-Undo", "-v", "-v"}, "-v" + twice},
        {{"-Undo", "1", "2"}, "2" + twice},
        {{"-Undo", "-zu", "-zu"}, "-zu" + twice},
        {{"-Undo", "-r"}, "-r" + other},
        {{"-Undo", "-zp1"}, "-zp1" + other},
        {{"-Undo", "x"}, "x" + other},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Args.back());
        EXPECT_TRUE(IsUndoForm(row.Args[0]));
        std::string read;
        try {
            const TUndoRequest request = ReadUndoArguments(row.Args);
            read = std::to_string(request.Preview) + " " + std::to_string(request.List) + " " +
                   std::to_string(request.Number) + (request.Utf8 ? " 1" : "");
        } catch (const EAppError &error) {
            EXPECT_EQ(error.message(), "オプションに誤りがあります");
            read = error.cause();
        }
        EXPECT_EQ(read, row.Read);
    }
    EXPECT_EQ(IsUndoForm("/undo"), SlashStartsSwitch);
    EXPECT_EQ(IsUndoForm("--undo"), !HasDriveSyntax);
    EXPECT_FALSE(IsUndoForm("-undox"));
    EXPECT_FALSE(IsUndoForm("undo"));
}
