// The usage screen and the default option it shows.
#include "cli/usage.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/settings.h"
#include "fake/fake_platform.h"
#include "report/output.h"
#include "run/run.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const char *const ProgramKey = "\\software\\Varnhold\\Kelvard";

class Usage : public ::testing::Test {
protected:
    std::string RegKey = ProgramKey;
    TOutput Output;
    // Runs the screen; returns the lines of the standard output.
    std::vector<std::string> Show() {
        int exitCode = 0;
        try {
            ShowUsage(RegKey, Output);
        } catch (const EAbort &abort) {
            exitCode = abort.ExitCode;
        }
        Output.Flush();
        EXPECT_EQ(exitCode, 255);
        EXPECT_EQ(Fake().Err, "");
        EXPECT_EQ(Fake().OpenKeys, 0);
        std::vector<std::string> lines;
        const std::string &out = Fake().Out;
        std::string eol = LineEnd;
        size_t start = 0;
        for (size_t end; (end = out.find(eol, start)) != std::string::npos;
             start = end + eol.size())
            lines.push_back(out.substr(start, end - start));
        EXPECT_EQ(start, out.size()) << "the last line lacks its line end";
        return lines;
    }
    static std::string SettingLine(const std::string &setting) {
        return "                （現在の設定：" + setting + "）";
    }
    TFakePlatformScope Scope;
};

// The line that shows the current setting.
constexpr size_t SettingIndex = 21;

// Columns on a fixed-width console (CP932 bytes, where a double-byte
// character takes two), counted from UTF-8: every character beyond ASCII on
// this screen is a wide one.
size_t Columns(const std::string &line) {
    size_t columns = 0;
    for (unsigned char c : line) {
        if (c < 0x80)
            columns += 1;
        else if ((c & 0xC0) != 0x80)
            columns += 2;
    }
    return columns;
}

TEST_F(Usage, ScreenLayoutWithoutAKey) {
    std::vector<std::string> lines = Show();
    // The screen, and the lines of the switches added since after it.
    ASSERT_GE(lines.size(), 31u);
    const size_t widths[] = {0,  45, 0,  63, 63, 67, 37, 69, 69, 75, 71, 69, 34, 34, 32, 66,
                             60, 32, 50, 48, 56, 0,  0,  48, 48, 0,  39, 63, 60, 67, 74};
    for (size_t i = 0; i < std::size(widths); ++i) {
        if (i != SettingIndex) {
            EXPECT_EQ(Columns(lines[i]), widths[i]) << "line " << i + 1 << ": " << lines[i];
        }
    }
    EXPECT_EQ(lines[1], "使い方: Kelvard [オプション] <ファイル名> ...");
    EXPECT_EQ(lines[3], "    -sn            現在日時を使用       -w       更新日時を変更");
    EXPECT_EQ(lines[19], "    -zr[type]   FAT/exFAT における丸め方法の指定");
    EXPECT_EQ(lines[20], "    -DefOpt     デフォルトオプションのレジストリ書き込み");
    EXPECT_EQ(lines[SettingIndex], SettingLine("未設定"));
    EXPECT_EQ(Columns(SettingLine("")), 32u);
    EXPECT_EQ(lines[23], "  ・オプションのデフォルトは '-sn -w -f0' です。");
    EXPECT_EQ(lines[26], "    -zu[type]   出力を UTF-8 で書き出す");
    EXPECT_EQ(lines[30],
              "    -Undo       実行の取り消し（-v でプレビュー、list で一覧、番号で指定）");
    // Switches begin in columns 5 and 41, descriptions in 20 and 50.
    for (size_t i = 3; i <= 11; ++i) {
        std::string bytesBefore = lines[i].substr(0, lines[i].find('-'));
        EXPECT_EQ(Columns(bytesBefore), i == 8 || i == 11 ? 40u : 4u) << "line " << i + 1;
    }
}

TEST_F(Usage, ShowsTheStoredDefaultOptionAsStored) {
    Fake().SetRegValue(ProgramKey, "DefaultOption", 1, "-sn,,-w \"a b\" -zz");
    EXPECT_EQ(Show()[SettingIndex], SettingLine("-sn,,-w \"a b\" -zz"));
}

TEST_F(Usage, KeyWithoutValueOrWithAnEmptyOneShowsNothing) {
    Fake().AddRegKey(ProgramKey);
    EXPECT_EQ(Show()[SettingIndex], SettingLine(""));
    Fake().Out.clear();
    Fake().SetRegValue(ProgramKey, "DefaultOption", 3, ""); // zero length, of any type
    EXPECT_EQ(Show()[SettingIndex], SettingLine(""));
}

TEST_F(Usage, ExpandableStringShownUnexpandedUpToItsFirstZero) {
    Fake().SetRegValue(ProgramKey, "defaultoption", 2, std::string("-s%X%\0rest", 10));
    EXPECT_EQ(Show()[SettingIndex], SettingLine("-s%X%"));
}

TEST_F(Usage, ReadsTheKeyOfTheProgramsOwnName) {
    RegKey = "\\software\\Varnhold\\copy";
    Fake().SetRegValue(ProgramKey, "DefaultOption", 1, "-v");
    Fake().SetRegValue("\\software\\Varnhold\\copy", "DefaultOption", 1, "-c");
    std::vector<std::string> lines = Show();
    EXPECT_EQ(lines[1], "使い方: Kelvard [オプション] <ファイル名> ...");
    EXPECT_EQ(lines[SettingIndex], SettingLine("-c"));
}

TEST_F(Usage, ValueOfAnotherTypeFailsBeforeAnythingIsWritten) {
    for (uint32_t type : {3u, 4u}) {
        Fake().SetRegValue(ProgramKey, "DefaultOption", type, std::string("\x05\0\0\0", 4));
        try {
            ShowUsage(RegKey, Output);
            FAIL() << "no error";
        } catch (const ERegistryError &error) {
            EXPECT_EQ(error.message(), "'DefaultOption' のデータ型が不正です");
        }
        Output.Flush();
        EXPECT_EQ(Fake().Out, "");
        EXPECT_EQ(Fake().OpenKeys, 0);
    }
}

TEST_F(Usage, FailedWriteIsAnUnhandledError) {
    Fake().FailOut = true;
    EXPECT_THROW(ShowUsage(RegKey, Output), EStreamError);
    Fake().FailOut = false;
}

} // namespace
