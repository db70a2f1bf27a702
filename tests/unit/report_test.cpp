#include "common/errors.h"
#include "fake/fake_platform.h"
#include "report/output.h"
#include "report/report.h"
#include "select/walker.h"

#include "common/settings.h"
#include "time_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string EOL = LineEnd;
constexpr int64_t NineHours = 9 * int64_t(TicksPerHour);

// The UTC value of a local date and time in the fake's zone (UTC+9).
TTimeValue Local(int y, int mo, int d, int h, int mi, int s, uint32_t fraction = 0) {
    TTimeValue value = 0;
    EXPECT_TRUE(LocalPartsToFileTime(MakeParts(y, mo, d, h, mi, s, fraction), value));
    return value;
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        Fake().LocalOffset = NineHours;
        Rep.Times.Unknown = Local(1980, 1, 1, 0, 0, 0);
        Rep.HeadingPending = true;
    }

    // A record as StampItem leaves it after computing `kinds` from `newValue`.
    TItemStamps Item(const std::string &path, std::initializer_list<TStampKind> kinds,
                     TTimeValue newValue, TStampOutcome outcome = soChanged) {
        TItemStamps item;
        item.Path = path;
        item.Options.Kinds = TStampKinds{};
        for (TStampKind k : kinds) {
            item.Options.Kinds.Include(k);
            item.NewValues[k] = newValue;
            item.HasNewValue[k] = true;
            FileTimeToLocalParts(newValue, item.NewParts[k]);
        }
        item.FractionWidth = 7;
        item.Outcome = outcome;
        return item;
    }

    std::string Printed() {
        Output.Flush();
        std::string out = Fake().Out;
        Fake().Out.clear();
        return out;
    }

    TFakePlatformScope Scope;
    TOutput Output;
    TReport Rep{Output, {}};
};

TEST_F(Report, FormatTimePartsCutsTheSubSecondDigits) {
    const TTimeParts p = MakeParts(2011, 3, 5, 7, 8, 9, 9999999);
    const std::string format = "%d-%.2d-%.2d %.2d:%.2d:%.2d.%.7d";
    EXPECT_EQ(FormatTimeParts(p, format, 0), "2011-03-05 07:08:09");
    EXPECT_EQ(FormatTimeParts(p, format, 1), "2011-03-05 07:08:09.");
    EXPECT_EQ(FormatTimeParts(p, format, 4), "2011-03-05 07:08:09.999");
    EXPECT_EQ(FormatTimeParts(p, format, 7), "2011-03-05 07:08:09.999999");
    EXPECT_EQ(FormatTimeParts(p, format, 8), "2011-03-05 07:08:09.9999999");
    EXPECT_EQ(FormatTimeParts(p, format, 12), "2011-03-05 07:08:09.9999999");
    EXPECT_EQ(FormatTimeParts(MakeParts(2011, 3, 5, 7, 8, 9, 42), format, 8),
              "2011-03-05 07:08:09.0000042");
    // Without a point nothing is cut.
    EXPECT_EQ(FormatTimeParts(p, "%d-%.2d-%.2d %.2d:%.2d:%.2d に変更", 0),
              "2011-03-05 07:08:09 に変更");
    // The restore form: the point belongs to the time, the blank after it stays.
    EXPECT_EQ(FormatTimeParts(p, "-d:%d-%.2d-%.2d -t:%.2d:%.2d:%.2d.%.7d ", 0),
              "-d:2011-03-05 -t:07:08:09 ");
    EXPECT_EQ(FormatTimeParts(p, "-d:%d-%.2d-%.2d -t:%.2d:%.2d:%.2d.%.7d ", 3),
              "-d:2011-03-05 -t:07:08:09.99 ");
}

TEST_F(Report, FormatTextDirectives) {
    EXPECT_EQ(FormatText("%3:.2d:%4:.2d|%0:d %d", {1, 2, 3, 4, 5}), "04:05|1 2");
    EXPECT_EQ(FormatText("%5d|%-5d|%.3d|%.3d", {42, 42, 7, -7}), "   42|42   |007|-007");
    EXPECT_EQ(FormatText("100%% %s", {"x%d"}), "100% x%d");
    EXPECT_EQ(FormatText("[%10.8s]", {"abcdefghijk"}), "[  abcdefgh]");
    EXPECT_EQ(FormatText("[%-4s]", {"ab"}), "[ab  ]");
    // The stamp kind labels of the value lines: four double-width characters
    // right-aligned in ten columns, the access name cut to its first four.
    EXPECT_EQ(FormatText("%10.8s: ", {StampKindNames[0]}), "  更新日時: ");
    EXPECT_EQ(FormatText("%10.8s: ", {StampKindNames[1]}), "  作成日時: ");
    EXPECT_EQ(FormatText("%10.8s: ", {StampKindNames[2]}), "  アクセス: ");
    EXPECT_THROW(FormatText("%d %d", {1}), EUnexpected);
    EXPECT_THROW(FormatText("%d", {"text"}), EUnexpected);
    // A width or precision that no int holds makes the format invalid.
    EXPECT_THROW(FormatText("%2147483648d", {1}), EUnexpected);
    EXPECT_THROW(FormatText("%.99999999999s", {"a"}), EUnexpected);
    EXPECT_EQ(FormatText("%0:.3d", {7}), "007");
}

TEST_F(Report, SplitShiftKeepsWholeHours) {
    TShiftParts s = SplitShift(-36 * int64_t(TicksPerHour) - 90 * int64_t(TicksPerSecond) - 5);
    EXPECT_TRUE(s.Negative);
    EXPECT_EQ(s.Hours, 36u);
    EXPECT_EQ(s.Minutes, 1u);
    EXPECT_EQ(s.Seconds, 30u);
    EXPECT_EQ(s.Fraction, 5u);
    s = SplitShift(INT64_MIN);
    EXPECT_TRUE(s.Negative);
    EXPECT_EQ(s.Hours, 256204778u);
    s = SplitShift(0);
    EXPECT_FALSE(s.Negative);
    EXPECT_EQ(s.Hours + s.Minutes + s.Seconds + s.Fraction, 0u);
}

TEST_F(Report, HeadingForTheCurrentTimeAndForUnknown) {
    TItemStamps item =
        Item("a.txt", {skModification, skAccess}, Local(2011, 1, 2, 3, 4, 5, 1234567));
    item.NewValues[skAccess] = Rep.Times.Unknown;
    ReportItem(Rep, item);
    EXPECT_EQ(Printed(), EOL + "更新日時を 2011-01-02 03:04:05 に変更します。" + EOL +
                             "アクセス日時を 不明に変更します。" + EOL + "変更しました。(a.txt)" +
                             EOL);
    EXPECT_FALSE(Rep.HeadingPending);
    // Later items of the operand get their result line only.
    item.Path = "b.txt";
    item.Outcome = soFailed;
    ReportItem(Rep, item);
    item.Outcome = soSourceMissing;
    ReportItem(Rep, item);
    EXPECT_EQ(Printed(), "Warn.: 変更できませんでした。(b.txt)" + EOL +
                             "Warn.: コピー元ファイルが見つかりません。(b.txt)" + EOL);
    // The next operand prints its own heading.
    Rep.HeadingPending = true;
    item.Options.DateMode = dmUnknown;
    item.Options.Kinds = TStampKinds::Of(skModification);
    item.NewValues[skModification] = Rep.Times.Unknown;
    item.Outcome = soChanged;
    ReportItem(Rep, item);
    EXPECT_EQ(Printed(),
              EOL + "更新日時を 不明に変更します。" + EOL + "変更しました。(b.txt)" + EOL);
}

// The reason goes to the error stream as its own line; the report line stays as it is.
TEST_F(Report, KeptItemsGetTheirReasonOnTheErrorStream) {
    Rep.HeadingPending = false;
    const std::string counterpart = FakePath({"back", "b.txt"});
    const struct {
        TStampOutcome Outcome;
        uint32_t Code;
        std::string Missing;
        std::string Out, Err;
    } rows[] = {
        {soFailed, 1234, "", "Warn.: 変更できませんでした。(b.txt)", "b.txt: error 1234"},
        {soSourceMissing, FakeNotFound, counterpart,
         "Warn.: コピー元ファイルが見つかりません。(b.txt)",
         "b.txt: " + counterpart + ": error " + std::to_string(FakeNotFound)},
        // Nothing known: no reason line.
        {soFailed, 0, "", "Warn.: 変更できませんでした。(b.txt)", ""},
    };
    for (const auto &row : rows) {
        TItemStamps item = Item("b.txt", {skModification}, Local(2011, 1, 2, 3, 4, 5), row.Outcome);
        item.ErrorCode = row.Code;
        item.MissingSource = row.Missing;
        Fake().Err.clear();
        ReportItem(Rep, item);
        EXPECT_EQ(Printed(), row.Out + EOL);
        EXPECT_EQ(Fake().Err, row.Err.empty() ? "" : row.Err + EOL);
    }
}

// A name shows "?" for each character that a file's or a pipe's code page
// lacks: the reason line then tells which, so that two such names stay apart.
TEST_F(Report, AWarningTellsTheCharactersItsStreamsShowAsQuestionMarks) {
    Rep.HeadingPending = false;
    Fake().CodePage = true;
    const std::string note = " (? = U+D55C U+AD6D)";
    const struct {
        bool Utf8, OutTerminal, ErrTerminal;
        uint32_t Code;
        std::string Reason;
    } rows[] = {
        {false, false, false, 1234, "error 1234" + note},
        {false, false, false, 0, note.substr(1)},
        // The report line's own stream shows "?" too.
        {false, false, true, 1234, "error 1234" + note},
        {false, true, true, 1234, "error 1234"},
        {true, false, false, 1234, "error 1234"},
        {true, false, false, 0, ""},
    };
    for (const auto &row : rows) {
        TOutput output;
        TReport report{output, {}};
        output.SetUtf8(row.Utf8);
        Fake().OutIsTerminal = row.OutTerminal;
        Fake().ErrIsTerminal = row.ErrTerminal;
        TItemStamps item = Item("한국.txt", {skModification}, Local(2011, 1, 2, 3, 4, 5), soFailed);
        item.ErrorCode = row.Code;
        Fake().Err.clear();
        ReportItem(report, item);
        EXPECT_EQ(Fake().Err, row.Reason.empty() ? "" : "한국.txt: " + row.Reason + EOL)
            << row.Utf8 << row.OutTerminal << row.ErrTerminal << row.Code;
    }
}

TEST_F(Report, HeadingForCopiedStamps) {
    TItemStamps item = Item("a", {skModification}, Local(2011, 1, 2, 12, 0, 0));
    item.Options.Source = ssCreation;
    item.Options.DateMode = dmTime;
    ReportItem(Rep, item);
    EXPECT_EQ(Printed(), EOL + "更新日時を 作成日時からコピーし、時刻を 12:00:00 に変更します。" +
                             EOL + "変更しました。(a)" + EOL);

    const struct {
        TDateMode Mode;
        int64_t Shift;
        std::string Sentence;
    } cases[] = {
        {dmDay, 0, "'%ref.txt' の更新日時からコピーし、日時を 02 12:00:00 に変更"},
        {dmMonthDay, 0, "'%ref.txt' の更新日時からコピーし、日時を 01-02 12:00:00 に変更"},
        {dmDate, 0, "2011-01-02 12:00:00 に変更"},
        {dmNone, 54000000000, "'%ref.txt' の更新日時からコピーし、日時を +1:30:00 ずら"},
        {dmNone, -36 * int64_t(TicksPerHour),
         "'%ref.txt' の更新日時からコピーし、日時を -36:00:00 ずら"},
        {dmNone, 0, "'%ref.txt' の更新日時からコピー"},
        {dmUnknown, 0, "'%ref.txt' の更新日時からコピー"},
    };
    for (const auto &c : cases) {
        Rep.HeadingPending = true;
        item.Options.Source = ssModification;
        item.Options.SourceFile = "%ref.txt";
        item.Options.DateMode = c.Mode;
        item.Options.Shift = c.Shift;
        ReportItem(Rep, item);
        EXPECT_EQ(Printed(),
                  EOL + "更新日時を " + c.Sentence + "します。" + EOL + "変更しました。(a)" + EOL);
    }

    // An unknown source stamp gives no value sentence.
    Rep.HeadingPending = true;
    item.Options.SourceFile.clear();
    item.Options.Source = ssSameKind;
    item.Options.DateMode = dmTime;
    item.Options.Kinds.Include(skCreation);
    item.NewValues[skCreation] = 0;
    item.HasNewValue[skCreation] = true;
    ReportItem(Rep, item);
    EXPECT_EQ(Printed(), EOL + "更新日時を 更新日時からコピーし、時刻を 12:00:00 に変更します。" +
                             EOL + "作成日時を 作成日時からコピーします。" + EOL +
                             "変更しました。(a)" + EOL);
}

TEST_F(Report, HeadingWhenTheFirstItemsCounterpartIsMissing) {
    TItemStamps item = Item("sub" + std::string(1, PathSeparator) + "a", {}, 0, soSourceMissing);
    item.Options.Kinds = TStampKinds{7};
    item.Options.Source = ssAccess;
    item.Options.SourceFile = "back" + std::string(1, PathSeparator);
    item.Options.DateMode = dmDate;
    item.NewValues[skModification] = Local(2011, 1, 2, 0, 0, 0);
    item.HasNewValue[skModification] = true;
    FileTimeToLocalParts(item.NewValues[0], item.NewParts[0]);
    ReportItem(Rep, item);
    const std::string copy = "'back" + std::string(1, PathSeparator) + "' のアクセス日時からコピー";
    EXPECT_EQ(Printed(), EOL + "更新日時を 2011-01-02 00:00:00 に変更します。" + EOL +
                             "作成日時を " + copy + "します。" + EOL + "アクセス日時を " + copy +
                             "します。" + EOL + "Warn.: コピー元ファイルが見つかりません。(" +
                             item.Path + ")" + EOL);
}

TEST_F(Report, PreviewValueLinesKeepTheArrowInOneColumn) {
    TItemStamps item = Item("a.txt", {skModification, skCreation, skAccess},
                            Local(2011, 1, 2, 3, 4, 5, 9876543), soPreview);
    item.OldValues[skModification] = Local(2010, 5, 6, 7, 8, 9, 1234567);
    item.OldValues[skCreation] = 0;
    item.OldValues[skAccess] = Rep.Times.Unknown;
    item.NewValues[skAccess] = Rep.Times.Unknown;
    for (int digits = 0; digits <= 7; ++digits) {
        Rep.HeadingPending = false;
        item.FractionWidth = digits == 0 ? 0 : digits + 1;
        ReportItem(Rep, item);
        const std::string cut = digits == 0 ? "" : "." + std::string("1234567").substr(0, digits);
        const std::string newCut =
            digits == 0 ? "" : "." + std::string("9876543").substr(0, digits);
        const std::string oldValue = "2010-05-06 07:08:09" + cut;
        const std::string newValue = "2011-01-02 03:04:05" + newCut;
        const std::string unknownOld =
            "          不明" + std::string(size_t(item.FractionWidth + 6), ' ');
        EXPECT_EQ(Printed(), "変更されます。(a.txt)" + EOL + "  更新日時: " + oldValue + " → " +
                                 newValue + EOL + "  作成日時: " + unknownOld + "→ " + newValue +
                                 EOL + "  アクセス: " + unknownOld + "→           不明" + EOL)
            << "digits " << digits;
    }
}

} // namespace

TEST(TerminalOutput, NamesCannotActOnATerminal) {
    if (HasDriveSyntax)
        GTEST_SKIP() << "the native build's UTF-8 text";
    struct {
        std::string Line, Shown;
    } rows[] = {
        {"変更しました。(a\x1b[2Jb.txt)", "変更しました。(a?[2Jb.txt)"},
        {"tab\there\rcr\nlf\x7f"
         "del",
         "tab?here?cr?lf?del"},
        // C1 controls (U+009B is CSI) and bytes of no valid sequence.
        {"c1 \xc2\x9b"
         "2J \xc2\xa0 nbsp",
         "c1 ?2J \xc2\xa0 nbsp"},
        {"bad \xff \xc0\xaf \xed\xa0\x80 \xe3\x81", "bad ? ?? ??? ??"},
        {"名前 ok", "名前 ok"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(SafeForTerminal(row.Line), row.Shown) << row.Line;

    // Only the stream that goes to a terminal shows it so.
    TFakePlatformScope scope;
    Fake().ErrIsTerminal = true;
    TOutput output;
    output.OutLine("a\x1b"
                   "b");
    output.ErrLine("a\x1b"
                   "b");
    output.Flush();
    EXPECT_EQ(Fake().Out, "a\x1b"
                          "b" +
                              EOL);
    EXPECT_EQ(Fake().Err, "a?b" + EOL);
    // A line put together from parts where it waits: the same on both.
    for (bool terminal : {false, true}) {
        TFakePlatformScope parts;
        Fake().OutIsTerminal = terminal;
        TOutput joined;
        joined.OutLine({"変更しました。(", "a\x1b[2J", "b.txt", ")"});
        joined.Flush();
        EXPECT_EQ(Fake().Out, std::string(terminal ? "変更しました。(a?[2Jb.txt)"
                                                   : "変更しました。(a\x1b[2Jb.txt)") +
                                  EOL);
    }
}

// The banner waits for the run's first output, and goes out in the form the
// options ask for; UTF-8 to a file or a pipe begins with a byte order mark
// where the streams are otherwise in the code page.
TEST(Utf8Output, TheStandardOutputBeginsWithAMarkOnAFileOnly) {
    for (bool terminal : {false, true}) {
        TFakePlatformScope scope;
        Fake().OutIsTerminal = terminal;
        TOutput output;
        output.ErrBeforeAll("banner" + EOL);
        output.SetUtf8(true);
        output.OutLine("a");
        EXPECT_EQ(Fake().Err, "");
        output.Flush();
        output.OutLine("b");
        output.ErrLine("c");
        const std::string mark = StreamsInCodePage && !terminal ? "\xEF\xBB\xBF" : "";
        EXPECT_EQ(Fake().Out, mark + "a" + EOL + "b" + EOL) << terminal;
        EXPECT_EQ(Fake().Err, "banner" + EOL + "c" + EOL);
        EXPECT_TRUE(Fake().OutUtf8 && Fake().ErrUtf8);
    }
}
