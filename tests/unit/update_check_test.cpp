#include "update/update_check.h"

#include "common/settings.h"
#include "fake/fake_platform.h"
#include "run/run.h"

#include <gtest/gtest.h>

namespace {

const std::string Checker = "\\Software\\Verwatch";
const std::string Maker = Checker + "\\support@varnhold.example";
const std::string Program = Maker + "\\Kelvard";

std::string StringValue(const std::string &key, const std::string &name) {
    const TFakeRegValue *v = Fake().RegValue(key, name);
    if (!v)
        return "<none>";
    EXPECT_EQ(v->Type, 1u) << name; // REG_SZ
    return v->Data;
}

uint32_t DwordValue(const std::string &key, const std::string &name) {
    const TFakeRegValue *v = Fake().RegValue(key, name);
    if (!v || v->Type != 4 || v->Data.size() != 4)
        return 0xFFFFFFFFu;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(v->Data[size_t(i)]);
    return value;
}

} // namespace

TEST(UpdateCheck, WithoutTheCheckerNothingIsWritten) {
    TFakePlatformScope scope;
    Fake().AddRegKey("\\Software\\Other");
    auto before = Fake().Registry;
    RegisterForUpdateCheck("Kelvard", "ぽるかん");
    EXPECT_EQ(Fake().Registry.size(), before.size());
    EXPECT_FALSE(Fake().HasRegKey(Maker));
    EXPECT_EQ(Fake().OpenKeys, 0);
}

TEST(UpdateCheck, FirstRunCreatesBothKeysWithAllValues) {
    TFakePlatformScope scope;
    Fake().AddRegKey(Checker);
    Fake().Build = 80;
    RegisterForUpdateCheck("Kelvard", "ぽるかん");
    EXPECT_EQ(StringValue(Maker, "Author"), "Varnhold");
    EXPECT_EQ(StringValue(Maker, "DisplayHost"), "www.varnhold.example");
    EXPECT_EQ(StringValue(Maker, "InfoURL"),
              "http://www.varnhold.example/varnhold/freesoft/update.inf");
    EXPECT_EQ(StringValue(Program, "DistinctName"), "Kelvard");
    EXPECT_EQ(StringValue(Program, "DisplayName"), "ぽるかん");
    EXPECT_EQ(StringValue(Program, "FilePath"), Fake().ModulePath);
    EXPECT_EQ(DwordValue(Program, "Build"), 80u);
    EXPECT_EQ(Fake().Registry.at("software\\verwatch\\support@varnhold.example").Values.size(), 3u);
    EXPECT_EQ(
        Fake().Registry.at("software\\verwatch\\support@varnhold.example\\kelvard").Values.size(),
        4u);
    EXPECT_EQ(Fake().OpenKeys, 0);
    EXPECT_EQ(Fake().Err, "");
    EXPECT_EQ(Fake().Out, "");
}

TEST(UpdateCheck, ExistingKeysKeepTheirValuesButPathAndBuildFollowTheProgram) {
    TFakePlatformScope scope;
    Fake().SetRegValue(Maker, "Author", 1, "Someone else");
    Fake().SetRegValue(Program, "DisplayName", 1, "older name");
    Fake().SetRegValue(Program, "FilePath", 1, "C:\\old\\place\\Kelvard.exe");
    Fake().SetRegValue(Program, "Build", 4, std::string("\x4F\0\0\0", 4));
    Fake().ModulePath = FakePath({HasDriveSyntax ? "D:" : "/srv", "new", "Kelvard.exe"});
    Fake().Build = 81;
    RegisterForUpdateCheck("Kelvard", "ぽるかん");
    EXPECT_EQ(StringValue(Maker, "Author"), "Someone else");
    EXPECT_EQ(StringValue(Maker, "DisplayHost"), "<none>");
    EXPECT_EQ(StringValue(Maker, "InfoURL"), "<none>");
    EXPECT_EQ(StringValue(Program, "DisplayName"), "older name");
    EXPECT_EQ(StringValue(Program, "DistinctName"), "<none>");
    EXPECT_EQ(StringValue(Program, "FilePath"), Fake().ModulePath);
    EXPECT_EQ(DwordValue(Program, "Build"), 81u);
    EXPECT_EQ(Fake().OpenKeys, 0);
}

TEST(UpdateCheck, ExistingMakerKeyGetsANewProgramKey) {
    TFakePlatformScope scope;
    Fake().SetRegValue(Maker, "Author", 1, "Varnhold");
    Fake().AddRegKey(Maker + "\\Folvane");
    RegisterForUpdateCheck("Kelvard", "ぽるかん");
    EXPECT_EQ(StringValue(Maker, "DisplayHost"), "<none>");
    EXPECT_EQ(StringValue(Program, "DistinctName"), "Kelvard");
    EXPECT_EQ(StringValue(Program, "DisplayName"), "ぽるかん");
    EXPECT_EQ(StringValue(Program, "FilePath"), Fake().ModulePath);
}

TEST(UpdateCheck, EmptyDisplayNameWritesNoDisplayName) {
    TFakePlatformScope scope;
    Fake().AddRegKey(Checker);
    RegisterForUpdateCheck("Kelvard", "");
    EXPECT_EQ(StringValue(Program, "DistinctName"), "Kelvard");
    EXPECT_EQ(Fake().RegValue(Program, "DisplayName"), nullptr);
    EXPECT_EQ(StringValue(Program, "FilePath"), Fake().ModulePath);
}

// A write that fails warns on the error stream with the value, the key and
// the system's reason; what was written before it stays, nothing is raised.
TEST(UpdateCheck, FailedWriteWarnsNamingTheValueKeyAndReason) {
    struct {
        const char *Name;
        std::string ExistingKey; // besides the checker's own
        bool CreateFails, WritesFail;
        std::string Value, Key;
    } cases[] = {
        {"first write", "", false, true, "Author", Maker},
        // A key that cannot be created: its first write fails.
        {"key not created", Maker, true, false, "DistinctName", Program},
        // Only the rewritten values are written on a later run.
        {"later run", Program, false, true, "FilePath", Program},
    };
    const std::string eol = LineEnd;
    for (const auto &c : cases) {
        TFakePlatformScope scope;
        Fake().AddRegKey(Checker);
        if (!c.ExistingKey.empty())
            Fake().AddRegKey(c.ExistingKey);
        Fake().RegistryCreateFails = c.CreateFails;
        Fake().RegistryWritesFail = c.WritesFail;
        RegisterForUpdateCheck("Kelvard", "ぽるかん");
        EXPECT_EQ(Fake().Err, "Warn.: 更新チェックの登録に失敗しました。('" + c.Value +
                                  "' の設定に失敗しました)" + eol + "HKEY_CURRENT_USER" + c.Key +
                                  ": error " + std::to_string(FakeAccessDenied) + eol)
            << c.Name;
        EXPECT_EQ(Fake().Out, "") << c.Name;
        EXPECT_EQ(Fake().OpenKeys, 0) << c.Name;
    }
}

// The entry point's order: registration first, before the banner; when it
// fails, the warning comes first and the run does its work with the exit code
// it would have had anyway.
TEST(UpdateCheck, FailureWarnsAndTheRunGoesOn) {
    struct {
        const char *Name;
        bool FileThere;
        int Code;
    } cases[] = {{"stamped", true, 0}, {"not found", false, 1}};
    const std::string eol = LineEnd;
    const std::string banner = "タイムスタンプ変更 <ぽるかん>  version 1.27 (for Win32 console)" +
                               eol + "Copyright (C) Varnhold. All rights reserved." + eol;
    const std::string warning =
        "Warn.: 更新チェックの登録に失敗しました。('Author' の設定に失敗しました)" + eol +
        "HKEY_CURRENT_USER" + Maker + ": error " + std::to_string(FakeAccessDenied) + eol;
    for (const auto &c : cases) {
        TFakePlatformScope scope;
        Fake().AddRegKey(Checker);
        Fake().RegistryWritesFail = true;
        if (c.FileThere)
            Fake().AddFile("x");
        Fake().Now = 133497936001234567ULL;
        Fake().Args = {"x"};
        Fake().HasCommandLineText = HasDriveSyntax;
        Fake().CommandLine = "Kelvard x";
        int code = -1;
        try {
            RegisterForUpdateCheck("Kelvard", "ぽるかん");
            code = RunProgram();
        } catch (...) {
            code = ReportUnexpectedError(std::current_exception());
        }
        EXPECT_EQ(code, c.Code) << c.Name;
        if (c.FileThere) {
            EXPECT_EQ(Fake().Err, warning + banner);
            EXPECT_EQ(Fake().Item("x").LastWriteTime, Fake().Now);
        } else {
            EXPECT_EQ(Fake().Err,
                      warning + banner + eol + "Error: ファイル (x) が見つかりません。" + eol);
        }
    }
}
