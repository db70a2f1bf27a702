#include "cli/option_sources.h"
#include "common/errors.h"
#include "common/option.h"

#include "fake/fake_platform.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;
#include <vector>

namespace {

const TProgramNames Names{"Kelvard", "\\software\\Varnhold\\Kelvard"};

using TList = std::vector<std::string>;

struct TSplitRow {
    std::string Text;
    TList Items;
};

TEST(DelimitedText, CommaRule) {
    TFakePlatformScope fake;
    const std::vector<TSplitRow> rows = {
        {"", {}},
        {"   \t\r\n ", {}},
        {"-sn,-w", {"-sn", "-w"}},
        {"-sn -w", {"-sn", "-w"}},
        {" -sn , -w ", {"-sn", "-w"}},
        {"-sn,,-w", {"-sn", "", "-w"}},
        {"-sn, ,-w", {"-sn", "", "-w"}},
        {",a", {"", "a"}},
        {"a,", {"a", ""}},
        {"a, ", {"a"}},
        {"a ,", {"a", ""}},
        {",", {"", ""}},
        {"-w a,b.txt", {"-w", "a", "b.txt"}},
        {"-w \"a,b.txt\"", {"-w", "a,b.txt"}},
        {"\"D:\\x y\\f.txt\"", {"D:\\x y\\f.txt"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"\"\"\"", {"\""}},
        {"\"\"", {""}},
        {"\"abc", {"abc"}},
        {"\"a\"\"b", {"a\"b"}},
        {"\"a\"b", {"a", "b"}},
        {"\"a\",b", {"a", "b"}},
        {"a\"b c\"", {"a\"b", "c\""}},
        {"@x.txt", {"@x.txt"}},
        {"a\x01"
         "b\x1f"
         "c",
         {"a", "b", "c"}},
        {"a\x7f"
         "b",
         {"a\x7f"
          "b"}},
        {"a\0b"s, {"a"}},
        {"-ixg\r\n\"D:\\x y\\f.txt\"\r\n", {"-ixg", "D:\\x y\\f.txt"}},
    };
    for (const TSplitRow &row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(SplitDelimitedText(row.Text, ','), row.Items);
    }
}

TEST(DelimitedText, SemicolonRuleForOperands) {
    TFakePlatformScope fake;
    EXPECT_EQ(SplitDelimitedText("a.txt;;b.txt", ';'), (TList{"a.txt", "", "b.txt"}));
    EXPECT_EQ(SplitDelimitedText("a.txt;", ';'), (TList{"a.txt", ""}));
    EXPECT_EQ(SplitDelimitedText("a,b;c", ';'), (TList{"a,b", "c"}));
}

TEST(DelimitedText, CharactersBeyondAsciiAreTakenWhole) {
    TFakePlatformScope fake;
    // No byte of a character beyond ASCII is a blank, a delimiter or a quote:
    // a full-width blank (U+3000) and a no-break space belong to the item, and
    // ソ and 表, whose code-page forms end in the byte of "\", stay whole.
    EXPECT_EQ(SplitDelimitedText("a\u3000b,c", ','), (TList{"a\u3000b", "c"}));
    EXPECT_EQ(SplitDelimitedText("a\u00A0b c", ','), (TList{"a\u00A0b", "c"}));
    EXPECT_EQ(SplitDelimitedText("\"表\"\"\",ソ", ','), (TList{"表\"", "ソ"}));
    EXPECT_EQ(SplitDelimitedText("ソ;b", ';'), (TList{"ソ", "b"}));
}

TEST(CommandLine, WindowsRule) {
    TFakePlatformScope fake;
    const std::vector<TSplitRow> rows = {
        {"", {}},
        {"prog", {"prog"}},
        {"\"C:\\Program Files\\Kelvard.exe\" -w a.txt",
         {"C:\\Program Files\\Kelvard.exe", "-w", "a.txt"}},
        {"prog \"D:\\My Files\\a.txt\"", {"prog", "D:\\My Files\\a.txt"}},
        {"prog D:\\a,b.txt", {"prog", "D:\\a,b.txt"}},
        {"prog D:\\My\" \"Files\\a.txt", {"prog", "D:\\My Files\\a.txt"}},
        {"prog \"\" a \"\"\"\" b", {"prog", "a", "b"}},
        {"prog \"\"", {"prog"}},
        {"prog \"open ended", {"prog", "open ended"}},
        {"prog a\\\"b c\"", {"prog", "a\\b c"}},
        {"prog\t a \x01 b  ", {"prog", "a", "b"}},
    };
    for (const TSplitRow &row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(SplitCommandLine(row.Text), row.Items);
    }
    EXPECT_EQ(SplitCommandLine("prog a\u3000b \"c表\"d"), (TList{"prog", "a\u3000b", "c表d"}));
}

TEST(CommandLine, StandInsMarkTheArgumentsThatHoldThem) {
    TFakePlatformScope fake;
    // Flags for "prog a\uFFFD "b\uFFFDc" d\uFFFD": each U+FFFD stands in for
    // an unpaired surrogate.
    const std::string line = "prog a\uFFFD \"b\uFFFDc\" d\uFFFD";
    std::vector<bool> standIn(line.size(), false);
    for (size_t i = line.find("\uFFFD"); i != std::string::npos; i = line.find("\uFFFD", i + 3))
        standIn[i] = standIn[i + 1] = standIn[i + 2] = true;
    std::vector<bool> flags;
    EXPECT_EQ(SplitCommandLine(line, &standIn, &flags),
              (TList{"prog", "a\uFFFD", "b\uFFFDc", "d\uFFFD"}));
    EXPECT_EQ(flags, (std::vector<bool>{false, true, true, true}));
    // The quote is no part of the argument: a flag on it alone marks nothing.
    standIn.assign(line.size(), false);
    standIn[line.find('"')] = true;
    SplitCommandLine(line, &standIn, &flags);
    EXPECT_EQ(flags, (std::vector<bool>{false, false, false, false}));
}

TEST(CommandLine, ArgumentsOfTheBuild) {
    TFakePlatformScope fake;
    Fake().HasCommandLineText = true;
    Fake().CommandLine = "Kelvard.exe -w \"a b.txt\"";
    Fake().Args = {"ignored"};
    EXPECT_EQ(CommandLineArguments(), (TList{"-w", "a b.txt"}));
    Fake().CommandLine = "Kelvard.exe";
    EXPECT_EQ(CommandLineArguments(), TList{});

    // Without a command-line text the arguments are taken as delivered.
    Fake().HasCommandLineText = false;
    Fake().Args = {"-w", "a \"b\".txt", ""};
    EXPECT_EQ(CommandLineArguments(), (TList{"-w", "a \"b\".txt", ""}));
}

class DefaultOptionTest : public ::testing::Test {
protected:
    TFakePlatformScope Scope;
    void SetUp() override { Fake().Env["Kelvard"] = "-c"; }
};

TEST_F(DefaultOptionTest, RegistryValueWins) {
    Fake().SetRegValue("software\\Varnhold\\Kelvard", "DefaultOption", 1, "-sn -w");
    EXPECT_EQ(ReadDefaultOptionString(Names), "-sn -w");
    Fake().SetRegValue("software\\Varnhold\\Kelvard", "DefaultOption", 2, "-r %X%");
    EXPECT_EQ(ReadDefaultOptionString(Names), "-r %X%");
    EXPECT_EQ(Fake().OpenKeys, 0);
}

TEST_F(DefaultOptionTest, KeyWithoutValueIgnoresTheEnvironment) {
    Fake().AddRegKey("software\\Varnhold\\Kelvard");
    EXPECT_EQ(ReadDefaultOptionString(Names), "");
    Fake().SetRegValue("software\\Varnhold\\Kelvard", "DefaultOption", 1, "");
    EXPECT_EQ(ReadDefaultOptionString(Names), "");
}

TEST_F(DefaultOptionTest, EnvironmentWhenTheKeyIsAbsent) {
    EXPECT_EQ(ReadDefaultOptionString(Names), "-c");
    Fake().Env.clear();
    EXPECT_EQ(ReadDefaultOptionString(Names), "");
    // Another program's key does not count.
    Fake().SetRegValue("software\\Varnhold\\Other", "DefaultOption", 1, "-a");
    EXPECT_EQ(ReadDefaultOptionString(Names), "");
}

TEST_F(DefaultOptionTest, WrongTypeIsARegistryError) {
    Fake().SetRegValue("software\\Varnhold\\Kelvard", "DefaultOption", 4,
                       std::string("\1\0\0\0", 4));
    try {
        ReadDefaultOptionString(Names);
        FAIL() << "no error";
    } catch (const EAppError &) {
        FAIL() << "must not be an EAppError";
    } catch (const ERegistryError &e) {
        EXPECT_EQ(e.message(), "'DefaultOption' のデータ型が不正です");
    }
    EXPECT_EQ(Fake().OpenKeys, 0);
}

TEST(ResponseFile, TokensLineEndsAndNul) {
    TFakePlatformScope fake;
    Fake().Files["r1.txt"] = "-ixg\r\n\"D:\\x y\\f.txt\"\n-w a,b.txt\r-c \"a,b.txt\"\n";
    EXPECT_EQ(ReadResponseFile("r1.txt"),
              (TList{"-ixg", "D:\\x y\\f.txt", "-w", "a", "b.txt", "-c", "a,b.txt"}));
    Fake().Files["r2.txt"] = std::string("a b\n\0\0\r\n", 7);
    EXPECT_EQ(ReadResponseFile("r2.txt"), (TList{"a", "b"}));
    // A quote left open at the file's end takes its line break into the name.
    Fake().Files["r3.txt"] = "a \"u v\r\n";
    EXPECT_EQ(ReadResponseFile("r3.txt"), (TList{"a", "u v" + std::string(LineEnd)}));
    Fake().Files["empty.txt"] = "";
    EXPECT_EQ(ReadResponseFile("empty.txt"), TList{});
}

TEST(ResponseFile, UnreadableFileIsAnAppError) {
    TFakePlatformScope fake;
    for (const std::string name : {"missing.txt", ""}) {
        try {
            ReadResponseFile(name);
            FAIL() << "no error for " << name;
        } catch (const EAppError &e) {
            EXPECT_EQ(e.message(), "レスポンスファイル (" + name + ") が開けません");
        }
    }
}

// Text in UTF-16 bytes, little- or big-endian, after its byte order mark.
std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// What Windows shells and editors save: the mark says the encoding, and is no text.
TEST(ResponseFile, AFileWithAByteOrderMarkIsReadInItsEncoding) {
    TFakePlatformScope fake;
    const struct {
        std::string Bytes;
        TList Tokens;
        std::string Refused; // the last line, cut, that was not read
    } rows[] = {
        {"\xEF\xBB\xBF-ixgw caf\u00E9.txt\r\n", {"-ixgw", "caf\u00E9.txt"}, ""},
        {Utf16(u"-ixgw \U0001F600.txt\r\n", false), {"-ixgw", "\U0001F600.txt"}, ""},
        {Utf16(u"-ixgw \"\uD55C \u2212.txt\"\r\n", true), {"-ixgw", "\uD55C \u2212.txt"}, ""},
        // The text ends at its first NUL character.
        {Utf16(std::u16string(u"a b\n\0c d\n", 10), false), {"a", "b"}, ""},
        {std::string("\xEF\xBB\xBF"
                     "a\n\0b\n",
                     8),
         {"a"},
         ""},
        // Cut inside its last character: half a unit, or half a surrogate
        // pair; a restore line so cut is not read, any other line is.
        {Utf16(u"-w\n-ixgw a", false) + "b", {"-w"}, "-ixgw a\uFFFD"},
        {Utf16(u"-w\n-ixga \xD83D", true), {"-w"}, "-ixga \uFFFD"},
        {Utf16(u"-w\na", false) + "b", {"-w", "a\uFFFD"}, ""},
        // Without a mark: the system code page.
        {"-ixgw caf\u00E9.txt\n", {"-ixgw", "caf\u00E9.txt"}, ""},
    };
    for (const auto &row : rows) {
        Fake().Files["r.txt"] = row.Bytes;
        std::vector<TRefusedLine> refused;
        EXPECT_EQ(ReadResponseFile("r.txt", &refused), row.Tokens) << row.Tokens[0];
        EXPECT_EQ(refused.empty() ? "" : refused[0].Text, row.Refused) << row.Tokens[0];
    }
}

TEST(ResponseFile, TextThatCannotBeReadIsAnAppErrorWithItsCause) {
    TFakePlatformScope fake;
    Fake().CodePageTextFails = "\x81";
    const struct {
        std::string Bytes, Cause;
    } rows[] = {
        {Utf16(u"-w \xDC00"
               u"a\n",
               false),
         "r.txt: UTF-16 として読めない文字 (対のないサロゲート) があります"},
        {Utf16(u"-w \xD800"
               u"a\n",
               true),
         "r.txt: UTF-16 として読めない文字 (対のないサロゲート) があります"},
        {"-w \x81\n", "r.txt: error " + std::to_string(Fake().FailCode)},
    };
    for (const auto &row : rows) {
        Fake().Files["r.txt"] = row.Bytes;
        try {
            ReadResponseFile("r.txt");
            FAIL() << "no error for " << row.Cause;
        } catch (const EAppError &e) {
            EXPECT_EQ(e.message(), "レスポンスファイル (r.txt) が開けません");
            EXPECT_EQ(e.cause(), row.Cause);
        }
    }
}

TEST(GatherTokens, SourcesInOrderWithCombinedSwitchesSplit) {
    TFakePlatformScope fake;

    Fake().Env["Kelvard"] = "-rv,-sn";
    Fake().Files["resp.txt"] = "-ixg @x.txt\r\n\"a b.txt\"\r\n";
    TTokenList list = GatherTokens({"-wc", "@resp.txt", "D:\\a,b.txt", "-w+c"}, Names);
    EXPECT_EQ(list.Tokens, (TList{"-r", "-v", "-sn", "-w", "-c", "-i", "-x", "-g", "@x.txt",
                                  "a b.txt", "D:\\a,b.txt", "-w+", "-c"}));
    EXPECT_EQ(list.DefaultCount, 3u);
}

TEST(GatherTokens, UnreadableResponseFileStopsEverything) {
    TFakePlatformScope fake;

    try {
        GatherTokens({"-q", "@", "a.txt"}, Names);
        FAIL() << "no error";
    } catch (const EAppError &e) {
        EXPECT_EQ(e.message(), "レスポンスファイル () が開けません");
    }
}

} // namespace
