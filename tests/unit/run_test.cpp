#include "cli/option_sources.h"
#include "run/run.h"

#include "common/errors.h"
#include "common/option.h"
#include "common/settings.h"
#include "common/timevalue.h"
#include "fake/fake_platform.h"
#include "report/output.h"

#include <gtest/gtest.h>

#include <new>

namespace {

const std::string Eol = LineEnd;
const std::string Banner = "タイムスタンプ変更 <ぽるかん>  version 1.27 (for Win32 console)" + Eol +
                           "Copyright (C) Varnhold. All rights reserved." + Eol;

// Runs the program as the entry point does after the registration.
int RunWith(std::vector<std::string> args) {
    Fake().Args = std::move(args);
    if (Fake().Now == 0)
        Fake().Now = 133497936001234567ULL; // 2024-01-15 12:00:00.1234567
    try {
        return RunProgram();
    } catch (...) {
        return ReportUnexpectedError(std::current_exception());
    }
}

} // namespace

TEST(Run, BannerAndStartValues) {
    TFakePlatformScope scope;
    Fake().Now = 133497936001234567ULL;
    Fake().LocalOffset = 9 * int64_t(TicksPerHour);
    Fake().AddFile("a.txt");
    EXPECT_EQ(RunWith({"a.txt"}), 0);
    EXPECT_EQ(Fake().Err, Banner);
    // The operand was found and stamped with the time the run started.
    EXPECT_NE(Fake().Out.find("(a.txt)"), std::string::npos) << Fake().Out;
    EXPECT_EQ(Fake().Item("a.txt").LastWriteTime, 133497936001234567ULL);
    EXPECT_TRUE(IsNT());
    const TRunTimes times = StartTimes();
    EXPECT_EQ(times.Now, 133497936001234567ULL);
    // 1980-01-01 00:00 local, nine hours ahead of UTC.
    EXPECT_EQ(times.Unknown, 119600064000000000ULL - 9 * TicksPerHour);
}

TEST(Run, UnknownTimeByFamily) {
    TFakePlatformScope scope;
    Fake().LocalOffset = -5 * int64_t(TicksPerHour);
    EXPECT_EQ(StartTimes().Unknown, 119600064000000000ULL + 5 * TicksPerHour);
    Fake().IsNT = false;
    EXPECT_FALSE(IsNT());
    EXPECT_EQ(StartTimes().Unknown, 159677244000000000ULL); // not converted
}

TEST(Run, ProgramNameFromTheProgramFile) {
    struct {
        std::string Path, Name;
    } cases[] = {
        {FakePath({HasDriveSyntax ? "C:" : "", "tools", "Kelvard.exe"}), "Kelvard"},
        {FakePath({HasDriveSyntax ? "C:" : "", "tools", "Kelvard"}), "Kelvard"},
        {FakePath({HasDriveSyntax ? "C:" : "", "tools", "kv.old.exe"}), "kv.old"},
        {FakePath({HasDriveSyntax ? "C:" : "", "my.tools", "Kelvard"}), "Kelvard"},
        {FakePath({HasDriveSyntax ? "C:" : "", "my.tools", "Kelvard."}), "Kelvard"},
    };
    TFakePlatformScope scope;
    for (const auto &c : cases) {
        const TProgramNames names = ProgramNamesOf(c.Path);
        EXPECT_EQ(names.ProgName, c.Name) << c.Path;
        EXPECT_EQ(names.RegKey, "\\software\\Varnhold\\" + c.Name);
    }
    // A drive prefix without a folder ends at the colon.
    if (HasDriveSyntax) {
        EXPECT_EQ(ProgramNamesOf("C:Kelvard.exe").ProgName, "Kelvard");
    }
    // The run reads its defaults under the program file's own name.
    Fake().AddFile("a");
    Fake().ModulePath = FakePath({HasDriveSyntax ? "C:" : "", "tools", "kv.old.exe"});
    Fake().SetRegValue("software\\Varnhold\\kv.old", "DefaultOption", 1, "-v");
    EXPECT_EQ(RunWith({"a"}), 0);
    EXPECT_NE(Fake().Out.find("変更されます。(a)"), std::string::npos) << Fake().Out;
}

TEST(Run, NotFoundEndsTheRunWithAnError) {
    TFakePlatformScope scope;
    Fake().AddFile("a");
    EXPECT_EQ(RunWith({"a", "x", "y"}), 1);
    EXPECT_EQ(Fake().Err, Banner + Eol + "Error: ファイル (x) が見つかりません。" + Eol);
    // The change made before the error stays.
    EXPECT_EQ(Fake().Item("a").LastWriteTime, Fake().Now);
}

TEST(Run, NotFoundWithIgnoreWarnsAndGoesOn) {
    TFakePlatformScope scope;
    Fake().AddFile("a");
    EXPECT_EQ(RunWith({"-x", "-g", "x", "-g", "a", "-g", "y"}), 0);
    const std::string x = Eol + "Warn.: ファイル (x) が見つかりません。" + Eol;
    const std::string y = Eol + "Warn.: ファイル (y) が見つかりません。" + Eol;
    const std::string &out = Fake().Out;
    ASSERT_GT(out.size(), x.size() + y.size());
    EXPECT_EQ(out.substr(0, x.size()), x);
    EXPECT_EQ(out.substr(out.size() - y.size()), y);
    EXPECT_NE(out.find("(a)"), std::string::npos) << out; // the operand between was stamped
    EXPECT_EQ(Fake().Item("a").LastWriteTime, Fake().Now);
    EXPECT_EQ(Fake().Err, Banner);

    // -g belongs to each entry: one operand warns, the next one fails.
    Fake().Out.clear();
    Fake().Err.clear();
    EXPECT_EQ(RunWith({"-x", "-g", "x", "-g", "y", "-g", "z"}), 1);
    EXPECT_EQ(Fake().Err, Banner + Eol + "Error: ファイル (y) が見つかりません。" + Eol);
    EXPECT_EQ(Fake().Out, Eol + "Warn.: ファイル (x) が見つかりません。" + Eol);
}

TEST(Run, ArgumentsWithStandInsAreRefusedBeforeAnythingChanges) {
    struct {
        std::string Argument, Error;
    } rows[] = {
        {"caf?.txt", "ファイル (caf?.txt) が見つかりません"},
        {"-scaf?.txt", "オプションに誤りがあります"},
        {"@caf?.txt", "レスポンスファイル (caf?.txt) が開けません"},
    };
    for (const auto &row : rows) {
        TFakePlatformScope scope;
        Fake().AddFile("a.txt");
        Fake().AddFile("cafe.txt");
        Fake().HasCommandLineText = true;
        Fake().CommandLine = "Kelvard.exe a.txt " + row.Argument;
        Fake().CommandLineStandIn.assign(Fake().CommandLine.size(), false);
        Fake().CommandLineStandIn[Fake().CommandLine.find('?')] = true;
        EXPECT_EQ(RunWith({}), 1) << row.Argument;
        EXPECT_EQ(Fake().Err, Banner + Eol + "Error: " + row.Error + "。" + Eol);
        EXPECT_TRUE(Fake().Writes.empty()) << row.Argument;
    }
}

TEST(Run, ExitCodeTellsWhetherEverySelectedItemWasDone) {
    struct TRow {
        std::vector<std::string> Args;
        int Code;
    };
    const std::vector<TRow> rows = {
        {{"ok"}, 0},
        {{"-v", "ok"}, 0},
        {{"-g", "missing", "ok"}, 0},
        // The run goes on after an item kept its stamps, and ends with 2.
        {{"locked", "ok"}, 2},
        {{"-sw" + FakePath({"ref", ""}), "ok"}, 2},
        {{"-e", "old"}, 2},
        // An error still ends the run with 1, a run without arguments with 255.
        {{"locked", "missing"}, 1},
        {{}, 255},
        // Nothing is carried over from the run before.
        {{"ok"}, 0},
    };
    TFakePlatformScope scope;
    Fake().AddFile("ok");
    Fake().AddFile("locked");
    Fake().Item("locked").FailWrite = true;
    Fake().AddFile("old", 119000000000000000ULL); // 1978
    Fake().AddFolder("ref");
    for (const TRow &row : rows) {
        std::string trace;
        for (const std::string &arg : row.Args)
            trace += "[" + arg + "] ";
        SCOPED_TRACE(trace);
        EXPECT_EQ(RunWith(row.Args), row.Code);
    }
    Fake().Item("ok").LastWriteTime = 1;
    EXPECT_EQ(RunWith({"locked", "ok"}), 2);
    EXPECT_EQ(Fake().Item("ok").LastWriteTime, Fake().Now);
}

TEST(Run, ExitCodeStartsAtZeroOnEveryRun) {
    TFakePlatformScope scope;
    Fake().AddFile("a");
    EXPECT_EQ(RunWith({"missing"}), 1);
    EXPECT_EQ(RunWith({"a"}), 0);
}

TEST(Run, FailedOutputWriteIsAnErrorWithItsReason) {
    // A restore run says that its lines are incomplete.
    struct {
        std::vector<std::string> Args;
        std::string Message;
    } rows[] = {
        {{"-g", "x"}, "出力を書き込めませんでした"},
        {{"-e", "a"}, "復元設定を書き込めませんでした。書き込まれた復元設定は不完全です"},
    };
    for (const auto &row : rows) {
        TFakePlatformScope scope;
        Fake().AddFile("a");
        Fake().FailOut = true;
        EXPECT_EQ(RunWith(row.Args), 1);
        const std::string tail = Eol + "Error: " + row.Message + "。" + Eol + "標準出力: error " +
                                 std::to_string(FakeAccessDenied) + Eol;
        ASSERT_GT(Fake().Err.size(), tail.size()) << Fake().Err;
        EXPECT_EQ(Fake().Err.substr(Fake().Err.size() - tail.size()), tail);
    }
}

TEST(Run, LastResortReportEndsTheMessageWithOneFullStop) {
    auto report = [](std::exception_ptr error) {
        Fake().Err.clear();
        EXPECT_EQ(ReportUnexpectedError(error), 1);
        std::string err = Fake().Err;
        size_t first = err.find(Eol);
        return err.substr(first + Eol.size());
    };
    TFakePlatformScope scope;
    EXPECT_EQ(report(std::make_exception_ptr(EUnexpected("EFoo", "already."))),
              "already." + Eol + Eol);
    EXPECT_EQ(report(std::make_exception_ptr(EUnexpected("EFoo", "bare"))), "bare." + Eol + Eol);
    EXPECT_EQ(report(std::make_exception_ptr(EUnexpected("EFoo", ""))), "." + Eol + Eol);
    EXPECT_EQ(Fake().Err.compare(0, 5, "EFoo "), 0);
    EXPECT_NE(report(std::make_exception_ptr(std::bad_alloc())), "");
    EXPECT_EQ(Fake().Err.compare(0, 13, "EOutOfMemory "), 0);
}

TEST(Run, ARestoreRunWritesNothingButRestoreLinesToItsOutput) {
    // Words of a name that a response file would read as switches: every
    // line that shows them goes to the error stream.
    const std::string folder = FakePath({"tree", "x -d2030-01-01 -r y"});
    struct {
        std::vector<std::string> Args;
        std::string OnErrorStream;
    } rows[] = {
        {{"-e", "-g", "a", "x -d2030-01-01 -r y"},
         Eol + "Warn.: ファイル (x -d2030-01-01 -r y) が見つかりません。" + Eol},
        {{"-e", "-r", FakePath({"tree", "*"})},
         "Warn.: フォルダを検索できませんでした。(" + folder + ")" + Eol + folder + ": error " +
             std::to_string(FakeAccessDenied) + Eol},
        // In expert mode an operand without -e is stamped, and reported there.
        {{"-x", "-e", "a", "-e-", "b"}, Eol + "更新日時を "},
    };
    for (const auto &row : rows) {
        TFakePlatformScope scope;
        Fake().AddFile("a");
        Fake().AddFile("b");
        Fake().AddFile(FakePath({"tree", "f"}));
        Fake().AddFolder(folder);
        Fake().Item(folder).FailSearch = true;
        RunWith(row.Args);
        const std::string &out = Fake().Out;
        EXPECT_FALSE(out.empty()) << row.Args[1];
        for (size_t at = 0; at < out.size(); at = out.find(Eol, at) + Eol.size())
            EXPECT_EQ(out.compare(at, 4, "-ixg"), 0) << out;
        EXPECT_NE(Fake().Err.find(row.OnErrorStream), std::string::npos) << Fake().Err;
    }
}

TEST(Run, AnItemGoneSinceItsListingIsAWarningAndTheRunGoesOn) {
    const std::string reason = "b: error " + std::to_string(FakeNotFound) + Eol;
    struct {
        std::vector<std::string> Args;
        std::string Warning;
    } rows[] = {
        {{"*"}, "Warn.: 変更できませんでした。(b)" + Eol},
        {{"-v", "*"}, "Warn.: 変更できませんでした。(b)" + Eol},
        {{"-e", "*"}, "Warn.: 復元設定を作成できませんでした。(b)" + Eol + reason},
    };
    for (const auto &row : rows) {
        TFakePlatformScope scope;
        for (const char *name : {"a", "b", "c"})
            Fake().AddFile(name);
        Fake().Item("b").VanishWhenListed = true;
        EXPECT_EQ(RunWith(row.Args), 2) << row.Args[0];
        EXPECT_NE((Fake().Out + Fake().Err).find(row.Warning), std::string::npos);
        EXPECT_NE(Fake().Err.find(reason), std::string::npos) << Fake().Err;
        // The items after it were done.
        EXPECT_NE((Fake().Out + Fake().Err).find("(c)"), std::string::npos) << row.Args[0];
    }
}

TEST(Run, AnOperandFolderThatCannotBeSearchedIsAWarning) {
    // Under -g as well: -g covers names that do not exist, not folders that refuse.
    const std::string warning = Eol + "Warn.: フォルダを検索できませんでした。(d)" + Eol;
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{FakePath({"d", "*"}), "e"},
          std::vector<std::string>{"-g", FakePath({"d", "*"}), "e"},
          std::vector<std::string>{"-x", "-r", FakePath({"d", "a"}), "-r", "e"}}) {
        TFakePlatformScope scope;
        Fake().AddFile(FakePath({"d", "a"}));
        Fake().AddFile("e");
        Fake().Item("d").FailSearch = true;
        EXPECT_EQ(RunWith(args), 2) << args[0];
        EXPECT_EQ(Fake().Out.substr(0, warning.size()), warning);
        EXPECT_EQ(Fake().Err, Banner + "d: error " + std::to_string(FakeAccessDenied) + Eol);
        EXPECT_EQ(Fake().Item("e").LastWriteTime, Fake().Now); // the run went on
    }
}

// Items the walk cannot look up by name (one the program's text cannot hold, one a
// path cannot hold as it stands, one the listing holds twice) keep their stamps
// with the reason, after the operand's heading, and a folder of that kind is not
// searched; with -e they get no restore lines.
TEST(Run, ItemsThatCannotBeLookedUpByTheirNames) {
    const std::string file = FakePath({"d", "?.txt"}), folder = FakePath({"d", "s?"});
    const std::string refused = FakePath({"d", "q|.txt"}), twin = FakePath({"d", "t.txt"});
    const std::string eol = Eol, reason = std::string(": ") + UnrepresentableNameReason + eol;
    const std::string notChanged = "Warn.: 変更できませんでした。(";
    struct {
        std::vector<std::string> Args;
        std::string Out, Err;
    } rows[] = {
        {{"-f2", "-r", FakePath({"d", "*.txt"})},
         Eol + "更新日時を 2024-01-15 21:00:00 に変更します。" + eol + notChanged + file + ")" +
             eol + "変更しました。(" + FakePath({"d", "a.txt"}) + ")" + eol + notChanged + refused +
             ")" + eol + notChanged + twin + ")" + eol + notChanged + folder + ")" + eol +
             "Warn.: フォルダを検索できませんでした。(" + folder + ")" + eol,
         Banner + file + reason + refused + ": error 123" + eol + twin + ": " +
             NameListedTwiceReason + eol + folder + reason + folder + reason},
        {{"-e", FakePath({"d", "*.txt"})},
         "",
         Banner + eol + "タイムスタンプ復元設定を作成します。" + eol},
    };
    for (const auto &row : rows) {
        TFakePlatformScope scope;
        Fake().LocalOffset = 9 * int64_t(TicksPerHour);
        Fake().AddFile(FakePath({"d", "a.txt"}));
        Fake().AddFile(file);
        Fake().AddFolder(folder);
        Fake().AddFile(FakePath({"d", "s?", "g.txt"}));
        Fake().AddFile(refused);
        Fake().Item(file).NameUnrepresentable = true;
        Fake().Item(folder).NameUnrepresentable = true;
        Fake().Item(refused).NameRefusal = 123;
        Fake().AddFile(twin);
        Fake().Item(twin).NameListedTwice = true;
        EXPECT_EQ(RunWith(row.Args), 2) << row.Args[0];
        EXPECT_EQ(Fake().Out.substr(0, row.Out.size()), row.Out) << row.Args[0];
        EXPECT_EQ(Fake().Err.substr(0, row.Err.size()), row.Err) << row.Args[0];
        EXPECT_EQ(Fake().Item(file).LastWriteTime, 0u);
        EXPECT_EQ(Fake().Item(refused).LastWriteTime, 0u);
        EXPECT_EQ(Fake().Item(twin).LastWriteTime, 0u);
    }
}

// An operand's heading comes before anything told of it, also where its first
// item has no values of its own to head it with: one refused by its name, one
// gone since its listing, a folder not searched. An operand whose date cannot
// be had ends the run at such an item as at any other.
TEST(Run, TheHeadingComesBeforeTheWarningsOfItsOperand) {
    const std::string eol = Eol, refused = FakePath({"e", "a|.txt"});
    const std::string warning = "Warn.: 変更できませんでした。(" + refused + ")" + eol;
    const std::string second = "変更しました。(" + FakePath({"e", "b.txt"}) + ")" + eol;
    struct {
        std::vector<std::string> Args;
        int Exit;
        std::string Out;
    } rows[] = {
        {{"-d2011-03-15", FakePath({"e", "a*"})},
         2,
         eol + "更新日時を 2011-03-15 00:00:00 に変更します。" + eol + warning},
        {{"-x", FakePath({"d", "c.txt"}), "-d2012-01-01", FakePath({"e", "*"})},
         2,
         eol + "更新日時を 2024-01-15 12:00:00 に変更します。" + eol + "変更しました。(" +
             FakePath({"d", "c.txt"}) + ")" + eol + eol +
             "更新日時を 2012-01-01 00:00:00 に変更します。" + eol + warning + second},
        {{"-c", "-ss:" + FakePath({"o", ""}), FakePath({"e", "*"})},
         2,
         eol + "作成日時を '" + FakePath({"o", ""}) + "' の作成日時からコピーします。" + eol +
             warning},
        {{"-t12:00", FakePath({"f", "*"})},
         2,
         eol + "更新日時を 2024-01-15 12:00:00 に変更します。" + eol +
             "Warn.: 変更できませんでした。(" + FakePath({"f", "a"}) + ")" + eol},
        {{"-d2106-02-07", "-t23:00", FakePath({"e", "a*"})}, 1, ""},
    };
    for (const auto &row : rows) {
        TFakePlatformScope scope;
        Fake().AddFile(FakePath({"d", "c.txt"}));
        Fake().AddFile(refused);
        Fake().Item(refused).NameRefusal = 123;
        Fake().AddFile(FakePath({"e", "b.txt"}));
        Fake().AddFile(FakePath({"o", "b.txt"}));
        Fake().AddFile(FakePath({"f", "a"}));
        Fake().Item(FakePath({"f", "a"})).VanishWhenListed = true;
        EXPECT_EQ(RunWith(row.Args), row.Exit) << row.Args[0];
        EXPECT_EQ(Fake().Out.substr(0, row.Out.size()), row.Out) << row.Args[0];
        if (row.Exit == 1) {
            EXPECT_NE(Fake().Err.find("Error: " + std::string(DateTimeError)), std::string::npos)
                << Fake().Err;
            EXPECT_TRUE(Fake().Writes.empty());
        }
    }
}
