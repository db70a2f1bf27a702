#include "cli/option_sources.h"
#include "cli/parser.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "common/option.h"

#include "common/settings.h"
#include "fake/fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TList = std::vector<std::string>;

// An entry written as its name followed by every field that differs from the
// defaults (the date with the year completion applied to it).
std::string Describe(const TOption &o) {
    std::string s = o.FileName;
    if (o.Source != ssNow)
        s += std::string(" Source=") + "wcas"[o.Source];
    if (!(o.Kinds == TStampKinds::Of(skModification))) {
        s += " Kinds=";
        for (TStampKind k : AllStampKinds)
            if (o.Kinds.Has(k))
                s += "wca"[k];
    }
    if (o.DateMode != dmNone)
        s += " DateMode=" + std::to_string(o.DateMode);
    if (o.FolderMode != fmNoFolders)
        s += " Folder=" + std::to_string(o.FolderMode);
    if (o.Recurse)
        s += " Recurse";
    if (o.Preview)
        s += " Preview";
    if (o.IgnoreNotFound)
        s += " IgnoreNotFound";
    if (o.MakeRestoreFile)
        s += " Restore";
    if (o.Expert)
        s += " Expert";
    const TTimeParts &t = o.DateTime;
    if (t.wYear != 2000 || t.wMonth || t.wDay || t.wHour || t.wMinute || t.wSecond || t.Fraction)
        s += " DateTime=" + std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" +
             std::to_string(t.wDay) + " " + std::to_string(t.wHour) + ":" +
             std::to_string(t.wMinute) + ":" + std::to_string(t.wSecond) + "." +
             std::to_string(t.Fraction);
    if (t.wDayOfWeek || t.wMilliseconds)
        s += " (stray SYSTEMTIME fields)";
    if (o.Shift)
        s += " Shift=" + std::to_string(o.Shift);
    if (!o.SourceFile.empty())
        s += " SourceFile=" + o.SourceFile;
    if (o.Offset.Fixed)
        s += " Offset=" + OffsetText(o.Offset);
    return s;
}

class ParserTest : public ::testing::Test {
protected:
    TFakePlatformScope Scope;
    // The entries, or "Error: " + message.
    static TList Parse(const TList &tokens, size_t defaultCount = 0) {
        TParsedOptions parsed;
        try {
            parsed = ParseTokens(tokens, defaultCount);
        } catch (const EAppError &e) {
            return {"Error: " + e.message()};
        }
        TList entries;
        for (const TOption &entry : parsed.Operands)
            entries.push_back(Describe(entry));
        return entries;
    }
};

struct TParseRow {
    TList Tokens;
    TList Entries;
};

const std::string OptionError = "Error: オプションに誤りがあります";
const std::string NoFileError = "Error: ファイル名を指定してください";
const std::string NoKindError = "Error: タイムスタンプ変更の指定がありません";
const std::string DateTimeError = "Error: 日時の指定に誤りがあります";

void Check(const std::vector<TParseRow> &rows, TList (*parse)(const TList &, size_t)) {
    for (const TParseRow &row : rows) {
        std::string trace;
        for (const std::string &t : row.Tokens)
            trace += "[" + t + "] ";
        SCOPED_TRACE(trace);
        EXPECT_EQ(parse(row.Tokens, 0), row.Entries);
    }
}

TEST_F(ParserTest, SourceKindsFoldersAndToggles) {
    Check(
        {
            {{"a.txt"}, {"a.txt"}},
            {{"a.txt", "b.txt"}, {"a.txt", "b.txt"}},
            {{"-w", "-c", "a"}, {"a Kinds=wc"}},
            {{"-c", "a"}, {"a Kinds=c"}},
            {{"-a+", "-a+", "a"}, {"a Kinds=a"}},
            {{"-W", "-C", "-A", "-c-", "a"}, {"a Kinds=wa"}},
            {{"-w", "-w", "a"}, {NoKindError}},
            {{"-w-", "a"}, {NoKindError}},
            {{"-w", "-i", "a"}, {"a"}},
            {{"-sw", "a"}, {"a Source=w"}},
            {{"-sc:x.txt", "a"}, {"a Source=c SourceFile=x.txt"}},
            {{"-sa=x.txt", "a"}, {"a Source=a SourceFile=x.txt"}},
            {{"-ssref\\", "a"}, {"a Source=s SourceFile=ref\\"}},
            {{"-SW:D:\\Ref.TXT", "a"}, {"a Source=w SourceFile=D:\\Ref.TXT"}},
            {{"-sw::x", "a"}, {"a Source=w SourceFile=:x"}},
            {{"-swx", "-sn", "a"}, {"a SourceFile=x"}},
            {{"-sw", "-snw", "a"}, {"a"}},
            {{"-swx", "-sw", "a"}, {"a Source=w"}},
            {{"-f", "a"}, {"a Folder=1"}},
            {{"-f1", "a"}, {"a Folder=1"}},
            {{"-f2", "a"}, {"a Folder=2"}},
            {{"-f+", "a"}, {"a Folder=2"}},
            {{"-f2", "-f0", "a"}, {"a"}},
            {{"-f2", "-f-", "a"}, {"a"}},
            {{"-f3", "a"}, {"a Folder=3"}},
            {{"-f2x", "a"}, {"a Folder=2"}},
            {{"-r", "-r", "a"}, {"a"}},
            {{"-r+", "-r+", "a"}, {"a Recurse"}},
            {{"-R", "-V", "-G", "-E", "-X", "a"},
             {"a Recurse Preview IgnoreNotFound Restore Expert"}},
            {{"-v+", "-v-", "-g-", "a"}, {"a"}},
            {{"-r", "-v", "-c", "-sa", "-f2", "-i", "a"}, {"a"}},
        },
        Parse);
}

TEST_F(ParserTest, FaultyTokens) {
    Check(
        {
            {{"-", "a"}, {OptionError}},
            {{"-q", "a"}, {OptionError}},
            {{"-s", "a"}, {OptionError}},
            {{"-sx", "a"}, {OptionError}},
            {{"-f:2", "a"}, {OptionError}},
            {{"-f4", "a"}, {OptionError}},
            {{"-r1", "a"}, {OptionError}},
            {{"-1", "a"}, {OptionError}},
            {{"-wx", "a"}, {OptionError}},
            {{"-i+", "a"}, {OptionError}},
            {{"-z", "a"}, {OptionError}},
            {{"-zq", "a"}, {OptionError}},
            {{"-zs8", "a"}, {OptionError}},
            {{"-zs-1", "a"}, {OptionError}},
            {{"-zd3", "a"}, {OptionError}},
            {{"-zr3", "a"}, {OptionError}},
            {{"-zu2", "a"}, {OptionError}},
            {{"-zs7x", "a"}, {OptionError}},
            {{"-zsx", "a"}, {OptionError}},
            {{"-zj2", "a"}, {OptionError}},
            {{"-zj-1", "a"}, {OptionError}},
            // An offset is written whole: sign, two-digit hours, colon, two-digit minutes.
            {{"-zo+9", "a"}, {OptionError}},
            {{"-zo09:00", "a"}, {OptionError}},
            {{"-zo+9:00", "a"}, {OptionError}},
            {{"-zo+09:60", "a"}, {OptionError}},
            {{"-zo+09-00", "a"}, {OptionError}},
            {{"-zo+09:00x", "a"}, {OptionError}},
            {{"-zo+0a:00", "a"}, {OptionError}},
            // The first faulty token ends the parse, whatever follows.
            {{"a", "-q", "-w", "-w"}, {OptionError}},
            {{"-w", "-w", "-q"}, {OptionError}},
            {{}, {NoFileError}},
            {{"-w"}, {NoFileError}},
            {{""}, {NoFileError}},
            {{";", ";;"}, {NoFileError}},
        },
        Parse);
}

TEST_F(ParserTest, SlashPrefix) {
    if (SlashStartsSwitch) {
        Check({{{"/w", "/c", "a"}, {"a Kinds=wc"}}, {{"/", "a"}, {OptionError}}}, Parse);
    } else {
        // Natively a "/" token is a path.
        Check({{{"/w", "/data/a"}, {"/w", "/data/a"}}, {{"/"}, {"/"}}}, Parse);
    }
}

TEST_F(ParserTest, DatesAndTimes) {
    Check(
        {
            {{"-d2011-03-15", "a"}, {"a DateMode=4 DateTime=2011-3-15 0:0:0.0"}},
            {{"-d:20110315", "a"}, {"a DateMode=4 DateTime=2011-3-15 0:0:0.0"}},
            {{"-d11-3-15", "a"}, {"a DateMode=4 DateTime=2011-3-15 0:0:0.0"}},
            {{"-d110315", "a"}, {"a DateMode=4 DateTime=2011-3-15 0:0:0.0"}},
            {{"-d99-12-31", "a"}, {"a DateMode=4 DateTime=1999-12-31 0:0:0.0"}},
            {{"-d80-1-1", "a"}, {"a DateMode=4 DateTime=1980-1-1 0:0:0.0"}},
            {{"-d79-1-1", "a"}, {"a DateMode=4 DateTime=2079-1-1 0:0:0.0"}},
            {{"-d100-1-1", "a"}, {"a DateMode=4 DateTime=100-1-1 0:0:0.0"}},
            {{"-d3/15", "a"}, {"a DateMode=3 DateTime=2000-3-15 0:0:0.0"}},
            {{"-d315", "a"}, {"a DateMode=3 DateTime=2000-3-15 0:0:0.0"}},
            {{"-d15", "a"}, {"a DateMode=2 DateTime=2000-0-15 0:0:0.0"}},
            {{"-d:unknown", "a"}, {"a DateMode=5"}},
            {{"-dU", "a"}, {"a DateMode=5"}},
            {{"-d2011-03-15", "-d-", "a"}, {"a DateTime=2011-3-15 0:0:0.0"}},
            {{"-d2011-03-15", "-d15", "a"}, {"a DateMode=2 DateTime=2011-3-15 0:0:0.0"}},
            {{"-t12:00", "-d2011-03-15", "a"}, {"a DateMode=4 DateTime=2011-3-15 12:0:0.0"}},
            {{"-d2011-03-15", "-t12:00", "a"}, {"a DateMode=4 DateTime=2011-3-15 12:0:0.0"}},
            {{"-t12:00", "-d-", "-d15", "a"}, {"a DateMode=2 DateTime=2000-0-15 0:0:0.0"}},
            {{"-d:2011-03-15", "-t:08:05:09.0000000", "a"},
             {"a DateMode=4 DateTime=2011-3-15 8:5:9.0"}},
            {{"-t12:34", "a"}, {"a DateMode=1 DateTime=2000-0-0 12:34:0.0"}},
            {{"-T=12:34:56.5", "a"}, {"a DateMode=1 DateTime=2000-0-0 12:34:56.5000000"}},
            {{"-t", "a"}, {"a DateMode=1 DateTime=2000-0-0 65535:0:0.0"}},
            // A number too large for its field is refused, never wrapped.
            {{"-t12:34:56.12345678", "a"}, {DateTimeError}},
            {{"-d65536-1-1", "a"}, {DateTimeError}},
            {{"-d2011-1-65536", "a"}, {DateTimeError}},
            {{"-d99999999999", "a"}, {DateTimeError}},
            {{"-t65536:0", "a"}, {DateTimeError}},
            {{"-t0:0:65536", "a"}, {DateTimeError}},
            {{"-d65535-65535-65535", "-t65535:65535:65535.9999999", "a"},
             {"a DateMode=4 DateTime=65535-65535-65535 65535:65535:65535.9999999"}},
            {{"-d2011-03-15", "-i", "a"}, {"a DateTime=2011-3-15 0:0:0.0"}},
            // Unreadable dates keep their mark in the year ...
            {{"-d", "a"}, {"a DateMode=2 DateTime=65535-0-0 0:0:0.0"}},
            {{"-DefOpt", "a"}, {"a DateMode=2 DateTime=65535-0-0 0:0:0.0"}},
            {{"-d2011-03-15", "-d1-2-3-4", "a"}, {"a DateMode=2 DateTime=65535-3-15 0:0:0.0"}},
            // ... until a readable day or month and day is read over it.
            {{"-dx", "-d15", "a"}, {"a DateMode=2 DateTime=2000-0-15 0:0:0.0"}},
            {{"-dx", "-d3/15", "a"}, {"a DateMode=3 DateTime=2000-3-15 0:0:0.0"}},
            {{"-dx", "-d2011-3-15", "a"}, {"a DateMode=4 DateTime=2011-3-15 0:0:0.0"}},
        },
        Parse);
}

TEST_F(ParserTest, RelativeTimes) {
    Check(
        {
            {{"-t+1:30", "a"}, {"a Shift=54000000000"}},
            {{"-t-0:0:10", "a"}, {"a Shift=-100000000"}},
            {{"-t:+1", "a"}, {"a Shift=36000000000"}},
            {{"-t+", "a"}, {"a"}},
            {{"-t+36", "a"}, {"a Shift=1296000000000"}},
            {{"-t+0:90", "a"}, {"a Shift=54000000000"}},
            {{"-t+0:0:0.5", "a"}, {"a Shift=5000000"}},
            {{"-t+1", "-t+2", "a"}, {"a Shift=72000000000"}},
            {{"-t+1", "-t-", "a"}, {"a"}},
            {{"-t+1", "-t+", "a"}, {"a"}},
            {{"-t+1", "-i", "a"}, {"a"}},
            {{"-t+1", "a", "-t+2"}, {"a Shift=72000000000"}},
            // A relative time leaves the date and time of day alone.
            {{"-t12:00", "-t+1", "a"},
             {"a DateMode=1 DateTime=2000-0-0 12:0:0.0 Shift=36000000000"}},
            {{"-t+1:2:3:4:5", "a"}, {DateTimeError}},
            {{"-t+x", "a"}, {DateTimeError}},
            {{"-t-0:0:0.12345678", "a"}, {DateTimeError}},
            {{"-t+99999999999:0", "a"}, {DateTimeError}},
            {{"-t+65536:00", "a"}, {DateTimeError}},
            {{"-t-99999:00", "a"}, {DateTimeError}},
            {{"-t+0:65536", "a"}, {DateTimeError}},
            {{"-t+65535:65535:65535", "a"}, {"a Shift=2399236350000000"}},
        },
        Parse);
}

TEST_F(ParserTest, OperandsAndTheirSplitting) {
    const std::string s(1, PathSeparator);
    const std::string data = HasDriveSyntax ? "D:\\data\\" : "/data/";
    Check(
        {
            {{"a.txt;;b.txt"}, {"a.txt", "b.txt"}},
            {{"-zd0", "a.txt;;b.txt"}, {"a.txt;;b.txt"}},
            {{"a.txt", "-zd0", "b;c", "-zd", "d;e"}, {"a.txt", "b;c", "d", "e"}},
            {{"-zd2", "d;e"}, {"d", "e"}},
            {{data + "a.txt;b.txt;sub" + s + "c.txt"},
             {data + "a.txt", data + "b.txt", data + "sub" + s + "c.txt"}},
            {{data + "a.txt;"}, {data + "a.txt"}},
            {{"x" + s + "a b.txt;c d.txt"}, {"x" + s + "a b.txt", "x" + s + "c d.txt"}},
            {{" a.txt "}, {" a.txt "}},
            {{"\"a;b\";c"}, {"a;b", "c"}},
            // Only ";" cuts: blanks, control characters and DEL stay in the names.
            {{"a; b\t;c\x7f d"}, {"a", " b\t", "c\x7f d"}},
            {{"x\ny;\r"}, {"x\ny", "\r"}},
            {{"\"a\"\"b;c\"d;e"}, {"a\"b;cd", "e"}},
            {{"a\"b;c\""}, {"a\"b", "c\""}},
            {{"\"open;end"}, {"open;end"}},
            {{"@x.txt"}, {"@x.txt"}},
        },
        Parse);
    if (HasDriveSyntax)
        Check({{{"C:a.txt;b.txt"}, {"C:a.txt", "C:b.txt"}},
               {{"D:\\data\\a.txt;E:\\b.txt"}, {"D:\\data\\a.txt", "D:\\data\\E:\\b.txt"}}},
              Parse);
}

TEST_F(ParserTest, DefaultTokensAreSwitchesOnly) {
    EXPECT_EQ(Parse({"-c", "-w", "a"}, 1), (TList{"a Kinds=wc"}));
    EXPECT_EQ(Parse({"-r", "-r", "a"}, 1), (TList{"a"}));
    EXPECT_EQ(Parse({"-r", "-c", "-i", "a"}, 2), (TList{"a"}));
    EXPECT_EQ(Parse({"-sn", "", "-w", "a"}, 3), (TList{OptionError}));
    EXPECT_EQ(Parse({"-swD:\\My", "Files\\ref.txt", "a"}, 2), (TList{OptionError}));
    EXPECT_EQ(Parse({"-sn", "a"}, 1), (TList{"a"}));
}

TEST_F(ParserTest, ExpertModeKeepsTheSettingsOfItsPosition) {
    Check(
        {
            {{"-x", "a.txt", "-r", "b.txt"}, {"a.txt Expert", "b.txt Recurse Expert"}},
            {{"a.txt", "-r", "b.txt"}, {"a.txt Recurse", "b.txt Recurse"}},
            {{"a", "-x", "-c", "b", "-x", "-a", "c"},
             {"a Kinds=ca", "b Kinds=c Expert", "c Kinds=ca"}},
            {{"-x", "-c", "a", "-c"}, {"a Kinds=c Expert"}},
            // An entry stored in expert mode keeps an empty kind set too.
            {{"-x", "-w-", "a", "-c", "b"}, {NoKindError}},
            {{"-x", "-w-", "-c", "a", "-w-", "b"}, {"a Kinds=c Expert", "b Kinds=c Expert"}},
        },
        Parse);
}

TEST_F(ParserTest, TheOffsetBelongsToEachOperand) {
    Check(
        {
            {{"-zo+09:00", "a"}, {"a Offset=+09:00"}},
            {{"-zo:-05:30", "a"}, {"a Offset=-05:30"}},
            {{"-ZO=+00:00", "a"}, {"a Offset=+00:00"}},
            {{"-zo+09:00", "-zo", "a"}, {"a"}},
            {{"a", "-zo-10:00"}, {"a Offset=-10:00"}},
            // Like any option of an operand: -i resets it, -x keeps it where it stood.
            {{"-zo+01:00", "-i", "a"}, {"a"}},
            {{"-x", "-zo+01:00", "a", "-zo+02:00", "b", "-i", "c"},
             {"a Expert Offset=+01:00", "b Expert Offset=+02:00", "c"}},
            // What a restore line holds.
            {{"-i", "-x", "-g", "-w", "-zo+09:00", "-d:2011-01-02", "-t:03:04:05.1234567", "f"},
             {"f DateMode=4 IgnoreNotFound Expert DateTime=2011-1-2 3:4:5.1234567 Offset=+09:00"}},
        },
        Parse);
}

TEST_F(ParserTest, SettingsAreProgramWide) {
    struct TRow {
        TList Tokens;
        int32_t Digits;
        bool Split, Round;
        bool Utf8 = false;
        bool Journal = true;
    };
    const std::vector<TRow> rows = {
        {{"a"}, 6, true, true},
        {{"-zu", "-i", "a"}, 6, true, true, true},
        {{"-zu1", "-zu0", "a"}, 6, true, true, false},
        {{"a", "-zu:1"}, 6, true, true, true},
        {{"-zs3", "a"}, 3, true, true},
        {{"-zs3", "-zs", "a"}, 6, true, true},
        {{"-zs:$7", "a"}, 7, true, true},
        {{"-ZS=0", "a"}, 0, true, true},
        {{"-zs0x7", "a"}, 7, true, true},
        {{"-zd0", "-zr0", "a"}, 6, false, false},
        {{"-zd0", "-zr:0", "-zd", "-zr=", "a"}, 6, true, true},
        {{"-zr2", "a", "-zr0"}, 6, true, false},
        {{"-zs1", "-zd0", "-zr0", "-i", "a"}, 1, false, false},
        {{"-zj0", "a"}, 6, true, true, false, false},
        {{"-zj0", "-i", "a"}, 6, true, true, false, false},
        {{"-zj0", "a", "-zj"}, 6, true, true, false, true},
        {{"-zj:0", "-zj1", "a"}, 6, true, true, false, true},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Tokens[0]);
        const TRunSettings settings = ParseTokens(row.Tokens, 0).Settings;
        EXPECT_EQ(settings.SubSecondDigits, row.Digits);
        EXPECT_EQ(settings.SplitFileNames, row.Split);
        EXPECT_EQ(settings.FatRounding, row.Round);
        EXPECT_EQ(settings.Utf8Streams, row.Utf8);
        EXPECT_EQ(settings.Journal, row.Journal);
    }
}

TEST_F(ParserTest, ManyOperandsAreAllKept) {
    TList tokens;
    for (int i = 0; i < 600; ++i)
        tokens.push_back("f" + std::to_string(i));
    tokens.push_back("-r");
    const std::vector<TOption> operands = ParseTokens(tokens, 0).Operands;
    ASSERT_EQ(operands.size(), 600u);
    EXPECT_EQ(operands[256].FileName, "f256");
    EXPECT_EQ(operands[599].FileName, "f599");
    EXPECT_TRUE(operands[0].Recurse);
}

TEST_F(ParserTest, UsageSwitchStopsThePass) {
    // The usage screen ends the run with its own silent exception; tokens
    // after -? are never looked at.
    try {
        ParseTokens({"-?", "-q"}, 0);
        FAIL() << "the parse went on";
    } catch (const EAppError &e) {
        FAIL() << e.message();
    } catch (...) {
    }
}

// What the parse of a whole command line gives: "cause: " + the cause of its
// error, "usage" for the usage screen, or each operand and whether it is a
// preview.
std::string ParseCommandLine(const TList &arguments) {
    const TProgramNames names = ProgramNamesOf(Fake().ModulePath);
    try {
        std::string shown;
        for (const TOption &entry : ParseTokens(GatherTokens(arguments, names)).Operands)
            shown += "[" + entry.FileName + (entry.Preview ? " v" : "") + "]";
        return shown;
    } catch (const EUsageAsked &) {
        return "usage";
    } catch (const EAppError &error) {
        return "cause: " + error.cause();
    }
}

TEST_F(ParserTest, ErrorsNameTheWordWhereItStandsAndWhatIsWrong) {
    const std::string prog = HasDriveSyntax ? "Kelvard" : "kelvard";
    struct TRow {
        TList Arguments;
        std::string Stored, Environment; // default option strings
        std::string Result;
        bool Inexact = false; // the stored string cannot be held exactly (shown with U+FFFD)
    };
    const std::string inexact = "-sw:caf\uFFFD.txt";
    std::vector<TRow> rows = {
        {{"-q", "a"}, "", "", "cause: -q: 不明なスイッチです"},
        {{"-zs9", "a"}, "", "", "cause: -zs9: -zs の値は 0 から 7 までです"},
        {{"-zsx", "a"}, "", "", "cause: -zsx: \"x\" は数として読めません"},
        {{"-wb", "a"}, "", "", "cause: -wb の -b: 不明なスイッチです"},
        {{"-r1", "a"}, "", "", "cause: -r1 の -1: 不明なスイッチです"},
        {{"-f4", "a"}, "", "", "cause: -f4: -f の後に続けられるのは 0、1、2、3、+、- のどれかです"},
        {{"@r.txt"}, "", "", "cause: レスポンスファイル r.txt の -q: 不明なスイッチです"},
        {{"-d1-1-99999", "a"},
         "",
         "",
         "cause: -d1-1-99999: 数が大きすぎます (年月日と時分秒は 65535 まで、秒未満は 7 桁まで)"},
        {{"-t+x", "a"}, "", "", "cause: -t+x: 相対時間として読めません"},
        {{"a"},
         "-sw ref.txt",
         "",
         "cause: デフォルトオプション \"-sw ref.txt\" (レジストリ) の ref.txt: "
         "スイッチではありません "
         "(デフォルトオプションにはスイッチしか書けません)。-DefOpt "
         "だけを指定して実行すると削除されます"},
        {{"a"},
         "",
         "-zs9",
         "cause: デフォルトオプション \"-zs9\" (環境変数 " + prog +
             ") の -zs9: -zs の値は 0 から 7 "
             "までです。環境変数 " +
             prog + " を直すか削除してください"},
        // Faulty defaults leave the usage screen to -? on the command line.
        {{"-v", "-?"}, "-q", "", "usage"},
        // Defaults that cannot be read exactly are never read as other words.
        {{"a"},
         inexact,
         "",
         "cause: デフォルトオプション \"" + inexact +
             "\" (レジストリ) は正確に読めません (対のないサロゲートがあります)。-DefOpt "
             "だけを指定して実行すると削除されます",
         true},
        {{"a"},
         "",
         inexact,
         "cause: デフォルトオプション \"" + inexact + "\" (環境変数 " + prog +
             ") は正確に読めません (対のないサロゲートがあります)。環境変数 " + prog +
             " を直すか削除してください",
         true},
        {{"-?"}, inexact, "", "usage", true},
    };
    if (PosixCommandLine)
        rows.push_back(
            {{"--bogus", "a"},
             "",
             "",
             "cause: --bogus: 不明なスイッチです (使い方は kelvard --help で表示されます)"});
    for (const TRow &row : rows) {
        TFakePlatformScope scope;
        Fake().Files["r.txt"] = "-w a\n-q b\n";
        if (!row.Stored.empty())
            Fake().SetRegValue("software\\Varnhold\\" + prog, "DefaultOption", 1, row.Stored,
                               row.Inexact);
        if (!row.Environment.empty())
            Fake().Env[prog] = row.Environment;
        if (row.Inexact)
            Fake().InexactEnv.insert(prog);
        EXPECT_EQ(ParseCommandLine(row.Arguments), row.Result) << row.Arguments[0];
    }
}

TEST_F(ParserTest, APreviewOnTheCommandLineHoldsForTheWholeRun) {
    // Restore lines reset the options with -i at every line; a -v in a
    // response file toggles as anywhere, but cannot end a preview that the
    // command line asks for.
    Fake().Files["r.txt"] = "-ixgw -d:2020-01-01 -t:00:00:00 a\n-ixga -d:unknown b\n";
    Fake().Files["v.txt"] = "-v\n";
    struct TRow {
        TList Arguments;
        std::string Result;
    } rows[] = {
        {{"-v", "@r.txt"}, "[a v][b v]"},
        {{"@r.txt", "-v"}, "[a v][b v]"},
        {{"-v", "x", "@r.txt"}, "[x v][a v][b v]"},
        {{"-v", "@v.txt", "x"}, "[x v]"},
        {{"@v.txt", "x"}, "[x v]"},
        // The command line's own -v taken back there: a run.
        {{"-v", "-v", "@r.txt"}, "[a][b]"},
        {{"-v", "-i", "@r.txt"}, "[a][b]"},
        {{"-x", "-v", "x", "-v-", "y"}, "[x v][y]"},
    };
    for (const TRow &row : rows)
        EXPECT_EQ(ParseCommandLine(row.Arguments), row.Result) << row.Arguments[0];
}

TEST_F(ParserTest, DefaultsAreStoredOnlyWhenALaterRunCanReadThem) {
    struct TRow {
        TList Arguments;
        std::string Cause; // empty: stored
    } rows[] = {
        {{"-sn", "-w", "-f1"}, ""},
        {{"-d31", "-t23:59:59"}, ""},
        {{"-d2-29"}, ""},
        {{"-w-"}, ""},
        {{"-sw", "ref.txt"},
         "ref.txt: スイッチではありません (デフォルトオプションにはスイッチしか書けません) "
         "(デフォルトオプションは変更していません)"},
        {{"report.txt"},
         "report.txt: スイッチではありません (デフォルトオプションにはスイッチしか書けません) "
         "(デフォルトオプションは変更していません)"},
        {{"-zs9"}, "-zs9: -zs の値は 0 から 7 までです (デフォルトオプションは変更していません)"},
        {{"-zo+25:00"},
         "-zo+25:00: UTC オフセットは -12:00 から +14:00 までです (デフォルトオプションは変更して"
         "いません)"},
        {{"-?"},
         "-?: 使い方の表示はデフォルトオプションにできません "
         "(デフォルトオプションは変更していません)"},
        {{"-d2011-02-30"},
         "-DefOpt: 2011-02-30 00:00:00 という日時はありません (-d2011-02-30) (デフォルトオプション"
         "は変更していません)"},
        {{"-d1979-12-31"},
         "-DefOpt: 1979-12-31 00:00:00 は 1980 年より前です (-d1979-12-31) (デフォルトオプションは"
         "変更していません)"},
        {{"-t25:00"},
         "-DefOpt: 2000-01-01 25:00:00 という日時はありません (-t25:00) (デフォルトオプションは変更"
         "していません)"},
    };
    for (const TRow &row : rows) {
        std::string cause;
        try {
            CheckDefaultOptions(row.Arguments);
        } catch (const EAppError &error) {
            cause = error.cause();
        }
        EXPECT_EQ(cause, row.Cause) << row.Arguments[0];
    }
}

TEST(IntegerArgument, Forms) {
    const std::vector<std::pair<std::string, int32_t>> good = {
        {"0", 0},
        {"7", 7},
        {"+7", 7},
        {"-1", -1},
        {"  7", 7},
        {"\t7", 7},
        {"007", 7},
        {"$7", 7},
        {"$1f", 31},
        {"x1F", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0X10", 16},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$7FFFFFFF", 2147483647},
    };
    for (const auto &[text, expected] : good) {
        SCOPED_TRACE(text);
        int32_t value = 12345;
        EXPECT_TRUE(ReadIntegerArg(text, value));
        EXPECT_EQ(value, expected);
    }
    for (const std::string text : {"", " ", "+", "-", "$", "x", "0x", "7 ", "7x", "1.0", "$g",
                                   "2147483648", "-2147483649", "$80000000", "0x", "- 7", "７"}) {
        SCOPED_TRACE(text);
        int32_t value = 12345;
        EXPECT_FALSE(ReadIntegerArg(text, value));
        EXPECT_EQ(value, 12345);
    }
}

} // namespace
