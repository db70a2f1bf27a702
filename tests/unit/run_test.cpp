#include "cli/run.h"

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
        RunProgram();
        return ExitCode;
    } catch (...) {
        return ReportUnexpectedError(std::current_exception());
    }
}

TOption Entry(const std::string &name, bool ignoreNotFound) {
    TOption option;
    option.FileName = name;
    option.IgnoreNotFound = ignoreNotFound;
    return option;
}

} // namespace

TEST(Run, BannerAndStartValues) {
    TFakePlatformScope scope;
    Fake().Now = 133497936001234567ULL;
    Fake().LocalOffset = 9 * int64_t(TicksPerHour);
    Fake().AddFile("a.txt");
    SubSecondDigits = 3;
    SplitFileNames = false;
    FatRounding = false;
    EXPECT_EQ(RunWith({"a.txt"}), 0);
    EXPECT_EQ(Fake().Err, Banner);
    // The operand was found and stamped with the time the run started.
    EXPECT_NE(Fake().Out.find("(a.txt)"), std::string::npos) << Fake().Out;
    EXPECT_EQ(Fake().Item("a.txt").LastWriteTime, 133497936001234567ULL);
    EXPECT_TRUE(IsNT());
    EXPECT_EQ(NowTime, 133497936001234567ULL);
    // 1980-01-01 00:00 local, nine hours ahead of UTC.
    EXPECT_EQ(UnknownTime, 119600064000000000ULL - 9 * TicksPerHour);
    EXPECT_EQ(SubSecondDigits, 6);
    EXPECT_TRUE(SplitFileNames);
    EXPECT_TRUE(FatRounding);
    EXPECT_EQ(ProgName, HasDriveSyntax ? "Kelvard" : "kelvard");
    EXPECT_EQ(RegKey, "\\software\\Varnhold\\" + ProgName);
    ASSERT_EQ(Operands.size(), 1u);
}

TEST(Run, UnknownTimeByFamily) {
    TFakePlatformScope scope;
    Fake().AddFile("a");
    Fake().LocalOffset = -5 * int64_t(TicksPerHour);
    EXPECT_EQ(RunWith({"a"}), 0);
    EXPECT_EQ(UnknownTime, 119600064000000000ULL + 5 * TicksPerHour);
    Fake().IsNT = false;
    EXPECT_EQ(RunWith({"a"}), 0);
    EXPECT_FALSE(IsNT());
    EXPECT_EQ(UnknownTime, 159677244000000000ULL); // not converted
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
    for (const auto &c : cases) {
        TFakePlatformScope scope;
        Fake().AddFile("a");
        Fake().ModulePath = c.Path;
        EXPECT_EQ(RunWith({"a"}), 0);
        EXPECT_EQ(ProgName, c.Name) << c.Path;
        EXPECT_EQ(RegKey, "\\software\\Varnhold\\" + c.Name);
    }
    if (HasDriveSyntax) {
        // A drive prefix without a folder ends at the colon.
        TFakePlatformScope scope;
        Fake().AddFile("a");
        Fake().ModulePath = "C:Kelvard.exe";
        EXPECT_EQ(RunWith({"a"}), 0);
        EXPECT_EQ(ProgName, "Kelvard");
    }
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
    Operands = {Entry("x", true), Entry("a", false), Entry("y", true)};
    NowTime = 133497936001234567ULL;
    EXPECT_NO_THROW(RunOperands());
    FlushOut();
    const std::string x = Eol + "Warn.: ファイル (x) が見つかりません。" + Eol;
    const std::string y = Eol + "Warn.: ファイル (y) が見つかりません。" + Eol;
    const std::string &out = Fake().Out;
    ASSERT_GT(out.size(), x.size() + y.size());
    EXPECT_EQ(out.substr(0, x.size()), x);
    EXPECT_EQ(out.substr(out.size() - y.size()), y);
    EXPECT_NE(out.find("(a)"), std::string::npos) << out; // the operand between was stamped
    EXPECT_EQ(Fake().Item("a").LastWriteTime, NowTime);
    EXPECT_EQ(Fake().Err, "");

    // -g belongs to each entry: one operand warns, the next one fails.
    Fake().Out.clear();
    Operands = {Entry("x", true), Entry("y", false), Entry("z", true)};
    try {
        RunOperands();
        FAIL() << "no error";
    } catch (const EAppError &e) {
        EXPECT_EQ(e.message(), "ファイル (y) が見つかりません");
    }
    FlushOut();
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

TEST(Run, FailedStreamWriteReachesTheLastResortReport) {
    TFakePlatformScope scope;
    Fake().FailOut = true;
    Operands = {Entry("x", true)};
    int code = -1;
    try {
        RunOperands();
        FlushOut();
    } catch (...) {
        code = ReportUnexpectedError(std::current_exception());
    }
    EXPECT_EQ(code, 1);
    const std::string head =
        std::string("EInOutError がモジュール ") + (HasDriveSyntax ? "Kelvard.exe" : "kelvard");
    EXPECT_EQ(Fake().Err.compare(0, head.size(), head), 0) << Fake().Err;
    const std::string tail =
        "で発生しました。" + Eol + "ファイルへの書き込みに失敗しました." + Eol + Eol;
    ASSERT_GT(Fake().Err.size(), tail.size());
    EXPECT_EQ(Fake().Err.substr(Fake().Err.size() - tail.size()), tail);
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
