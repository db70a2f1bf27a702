// Keeping the default option string with -DefOpt.
#include "cli/default_option.h"
#include "cli/option_sources.h"
#include "common/errors.h"
#include "common/option.h"
#include "fake/fake_platform.h"
#include "report/output.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const char *const ProgramKey = "\\software\\Varnhold\\Kelvard";
const char *const MakerKey = "\\software\\Varnhold";

class DefaultOption : public ::testing::Test {
protected:
    std::string Out() {
        Output.Flush();
        return Fake().Out;
    }
    void Maintain(const std::vector<std::string> &arguments) {
        MaintainDefaultOption(arguments, ProgramKey, Output);
    }
    static std::string Stored() {
        const TFakeRegValue *value = Fake().RegValue(ProgramKey, "DefaultOption");
        EXPECT_NE(value, nullptr);
        if (!value)
            return "";
        EXPECT_EQ(value->Type, 1u);
        return value->Data;
    }
    static std::string Line(const std::string &text) { return LineEnd + text + LineEnd; }
    TFakePlatformScope Scope;
    TOutput Output;
};

TEST_F(DefaultOption, RecognisesTheFormInAnyCase) {
    for (const char *form : {"-DefOpt", "-DEFOPT", "-defopt", "-dEfOpT"})
        EXPECT_TRUE(IsDefOptForm(form)) << form;
    for (const char *other :
         {"", "-", "DefOpt", "--DefOpt", "-DefOpt ", "-DefOpts", "-Def", "-d2011/1/1", "@DefOpt"})
        EXPECT_FALSE(IsDefOptForm(other)) << other;
    // "/" begins a switch only where it is no path separator.
    EXPECT_EQ(IsDefOptForm("/DefOpt"), HasDriveSyntax);
    EXPECT_EQ(IsDefOptForm("/defopt"), HasDriveSyntax);
}

TEST_F(DefaultOption, StoresTheArgumentsAfterTheForm) {
    Maintain({"-DefOpt", "-sn", "-w", "-f1"});
    EXPECT_EQ(Stored(), "-sn -w -f1");
    EXPECT_EQ(Out(), Line("デフォルトオプションをレジストリに書き込みました。"));
    EXPECT_EQ(Fake().OpenKeys, 0);
    // A second write replaces the first; the key's other values stay.
    Fake().SetRegValue(ProgramKey, "Other", 1, "x");
    Maintain({"/defopt", "-v"});
    EXPECT_EQ(Stored(), "-v");
    EXPECT_NE(Fake().RegValue(ProgramKey, "Other"), nullptr);
}

TEST_F(DefaultOption, QuotesArgumentsThatWouldNotReadBackWhole) {
    EXPECT_EQ(JoinDefaultOptions({"-swD:\\My Files\\ref.txt", "-v"}),
              "\"-swD:\\My Files\\ref.txt\" -v");
    EXPECT_EQ(JoinDefaultOptions({"a,b", "tab\there", "-t\"x\"y"}),
              "\"a,b\" \"tab\there\" \"-t\"\"x\"\"y\"");
    EXPECT_EQ(JoinDefaultOptions({"-sw\x01x"}), "\"-sw\x01x\"");
    EXPECT_EQ(JoinDefaultOptions({"plain", "", "-c"}), "plain -c");
    EXPECT_EQ(JoinDefaultOptions({}), "");
    Maintain({"-DefOpt", "-swD:\\My Files\\ref.txt"});
    EXPECT_EQ(Stored(), "\"-swD:\\My Files\\ref.txt\"");
}

TEST_F(DefaultOption, JoinedArgumentsReadBackAsTheSameTokens) {
    const std::vector<std::vector<std::string>> cases = {
        {"-sn", "-w", "-f1"},
        {"-swD:\\My Files\\ref.txt", "-v"},
        {"a,b", ",", "\"", "\"\"", "x\"", "\"y", "-t\"1 2\"", "tab\tnew\nline"},
        {"-d2011/1/1", "-t+1:00", "@resp.txt", "'single quoted'"},
        {"trailing,"},
    };
    for (const std::vector<std::string> &arguments : cases)
        EXPECT_EQ(SplitDelimitedText(JoinDefaultOptions(arguments), ','), arguments)
            << JoinDefaultOptions(arguments);
}

TEST_F(DefaultOption, CharactersBeyondAsciiAreTakenWhole) {
    // No byte of a character beyond ASCII is a blank or a quote, for the
    // joining as for the reading of the default option string: ソ (whose
    // code-page form ends in the byte of "\") and a full-width blank stay as
    // they are.
    EXPECT_EQ(JoinDefaultOptions({"ソ"}), "ソ");
    EXPECT_EQ(JoinDefaultOptions({"a\u3000"}), "a\u3000");
    EXPECT_EQ(JoinDefaultOptions({"ソ\" "}), "\"ソ\"\" \"");
    EXPECT_EQ(SplitDelimitedText(JoinDefaultOptions({"-sw:ソ a\u3000.txt", "-w"}), ','),
              (std::vector<std::string>{"-sw:ソ a\u3000.txt", "-w"}));
}

TEST_F(DefaultOption, KeyThatCannotBeCreatedIsAnError) {
    Fake().RegistryCreateFails = true;
    try {
        Maintain({"-DefOpt", "-v"});
        FAIL() << "no error";
    } catch (const EAppError &error) {
        EXPECT_EQ(error.message(), "デフォルトオプションをレジストリに書き込めません");
    }
    EXPECT_FALSE(Fake().HasRegKey(ProgramKey));
    EXPECT_EQ(Out(), "");
}

TEST_F(DefaultOption, FailedValueWriteIsARegistryErrorAndClosesTheKey) {
    Fake().RegistryWritesFail = true;
    try {
        Maintain({"-DefOpt", "-v"});
        FAIL() << "no error";
    } catch (const EAppError &) {
        FAIL() << "reported as an application error";
    } catch (const ERegistryError &error) {
        EXPECT_EQ(error.message(), "'DefaultOption' の設定に失敗しました");
    }
    EXPECT_EQ(Fake().OpenKeys, 0);
    EXPECT_EQ(Out(), "");
}

TEST_F(DefaultOption, RemovalTakesTheWholeKeyAndTheEmptyMakersKey) {
    Fake().SetRegValue(ProgramKey, "DefaultOption", 1, "-v");
    Fake().SetRegValue(ProgramKey, "Other", 4, std::string(4, '\0'));
    Fake().SetRegValue(std::string(ProgramKey) + "\\Sub\\Deeper", "x", 1, "y");
    Maintain({"-DefOpt"});
    EXPECT_FALSE(Fake().HasRegKey(ProgramKey));
    EXPECT_FALSE(Fake().HasRegKey(MakerKey));
    EXPECT_TRUE(Fake().HasRegKey("\\software"));
    EXPECT_EQ(Out(), Line("デフォルトオプションをレジストリから削除しました。"));
    EXPECT_EQ(Fake().OpenKeys, 0);
}

TEST_F(DefaultOption, MakersKeyStaysWhileAnotherProgramUsesIt) {
    Fake().SetRegValue(ProgramKey, "DefaultOption", 1, "-v");
    Fake().SetRegValue("\\software\\Varnhold\\Other", "DefaultOption", 1, "-c");
    Maintain({"-DEFOPT", ""}); // an empty argument counts as none
    EXPECT_FALSE(Fake().HasRegKey(ProgramKey));
    EXPECT_TRUE(Fake().HasRegKey("\\software\\Varnhold\\Other"));
    EXPECT_EQ(Out(), Line("デフォルトオプションをレジストリから削除しました。"));
}

TEST_F(DefaultOption, RemovalWithoutAStoredKeyIsAnError) {
    Fake().AddRegKey("\\software\\Varnhold\\Other");
    try {
        Maintain({"-DefOpt"});
        FAIL() << "no error";
    } catch (const EAppError &error) {
        EXPECT_EQ(error.message(), "デフォルトオプションがレジストリに設定されていません");
    }
    EXPECT_TRUE(Fake().HasRegKey("\\software\\Varnhold\\Other"));
    EXPECT_EQ(Out(), "");
}

TEST_F(DefaultOption, MakersKeyThatCannotBeOpenedAfterwardsIsAnError) {
    // The program's key lies elsewhere, so the maker's key does not exist.
    const std::string elsewhere = "\\software\\Elsewhere\\Kelvard";
    Fake().SetRegValue(elsewhere, "DefaultOption", 1, "-v");
    try {
        MaintainDefaultOption({"-DefOpt"}, elsewhere, Output);
        FAIL() << "no error";
    } catch (const EAppError &error) {
        EXPECT_EQ(error.message(), "デフォルトオプションの上位キーをレジストリから削除できません");
    }
    EXPECT_FALSE(Fake().HasRegKey(elsewhere));
    EXPECT_EQ(Fake().OpenKeys, 0);
}

} // namespace
