#include "update/update_check.h"

#include "cli/run.h"
#include "common/errors.h"
#include "common/settings.h"
#include "fake/fake_platform.h"

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

TEST(UpdateCheck, FailedWritesRaiseARegistryErrorNamingTheValue) {
    {
        TFakePlatformScope scope;
        Fake().AddRegKey(Checker);
        Fake().RegistryWritesFail = true;
        try {
            RegisterForUpdateCheck("Kelvard", "ぽるかん");
            FAIL() << "no error";
        } catch (const ERegistryError &e) {
            EXPECT_EQ(e.message(), "'Author' の設定に失敗しました");
            EXPECT_EQ(e.kind(), "ERegistryException");
        }
        EXPECT_EQ(Fake().OpenKeys, 0);
    }
    {
        // A key that cannot be created: its first write fails.
        TFakePlatformScope scope;
        Fake().SetRegValue(Maker, "Author", 1, "Varnhold");
        Fake().RegistryCreateFails = true;
        try {
            RegisterForUpdateCheck("Kelvard", "ぽるかん");
            FAIL() << "no error";
        } catch (const ERegistryError &e) {
            EXPECT_EQ(e.message(), "'DistinctName' の設定に失敗しました");
        }
        EXPECT_EQ(Fake().OpenKeys, 0);
    }
    {
        // Only the rewritten values are written on a later run.
        TFakePlatformScope scope;
        Fake().AddRegKey(Program);
        Fake().RegistryWritesFail = true;
        try {
            RegisterForUpdateCheck("Kelvard", "ぽるかん");
            FAIL() << "no error";
        } catch (const ERegistryError &e) {
            EXPECT_EQ(e.message(), "'FilePath' の設定に失敗しました");
        }
        EXPECT_EQ(Fake().OpenKeys, 0);
    }
}

// The entry point's order: registration first, outside the run's error
// handling, so that its failure shows as the last-resort report without banner.
TEST(UpdateCheck, FailureEndsTheProgramBeforeTheBanner) {
    TFakePlatformScope scope;
    Fake().AddRegKey(Checker);
    Fake().RegistryWritesFail = true;
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
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Fake().Out, "");
    const std::string eol = LineEnd;
    const std::string module = HasDriveSyntax ? "Kelvard.exe" : "kelvard";
    const std::string head = "ERegistryException がモジュール " + module + " の ";
    ASSERT_EQ(Fake().Err.compare(0, head.size(), head), 0) << Fake().Err;
    const std::string tail =
        " で発生しました。" + eol + "'Author' の設定に失敗しました." + eol + eol;
    ASSERT_GT(Fake().Err.size(), head.size() + tail.size());
    EXPECT_EQ(Fake().Err.substr(Fake().Err.size() - tail.size()), tail);
    const std::string address =
        Fake().Err.substr(head.size(), Fake().Err.size() - head.size() - tail.size());
    EXPECT_EQ(address.size(), 2 * sizeof(void *));
    EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos) << address;
}
