#include "engine/stamp_source.h"

#include "common/errors.h"
#include "common/settings.h"
#include "engine_support.h"

#include <gtest/gtest.h>

using namespace engine_test;

namespace {

const std::string BadDate = "日時の指定に誤りがあります";

class StampSource : public ::testing::Test {
protected:
    TEngineScope Scope;
    TOption Option;
    std::string Item = P("C:/work/a.txt");

    void SetUp() override {
        Option.FileName = P("C:/work/*.txt");
        Fake().AddFile(Item, LocalValue(2010, 6, 30, 10, 20, 30, 1234567),
                       LocalValue(2009, 4, 1, 8, 0, 0), LocalValue(2010, 7, 1, 9, 0, 0));
    }

    TTimeValue Compute(TStampKind readKind = skModification) {
        TTimeValue result = 12345;
        ComputeNewStamp(Item, readKind, Option, Scope.Times, result);
        return result;
    }

    // The message of the EAppError that computing raises ("" when none).
    std::string ErrorOf(TStampKind readKind = skModification) {
        try {
            Compute(readKind);
        } catch (const EAppError &error) {
            return error.message();
        }
        return "";
    }
};

} // namespace

TEST_F(StampSource, FindStampReadsEachKindAndTheName) {
    std::string name;
    TTimeValue value = 0;
    FindStamp(P("C:/work/*.txt"), skCreation, name, value);
    EXPECT_EQ(name, "a.txt");
    EXPECT_EQ(value, LocalValue(2009, 4, 1, 8, 0, 0));
    GetStamp(Item, skAccess, value);
    EXPECT_EQ(value, LocalValue(2010, 7, 1, 9, 0, 0));
    GetStamp(Item, skModification, value);
    EXPECT_EQ(value, LocalValue(2010, 6, 30, 10, 20, 30, 1234567));
    GetStamp(Item, TStampKind(4), value); // no stamp kind: untouched
    EXPECT_EQ(value, LocalValue(2010, 6, 30, 10, 20, 30, 1234567));
}

TEST_F(StampSource, FindStampPassesOverANameTheProgramCannotHold) {
    // Its stand-in text would name another file for the item's other kinds.
    for (const char *name : {"0.txt", "b.txt"}) {
        Fake().AddFile(P("C:/work/") + name, LocalValue(2001, 1, 1));
        Fake().Item(P("C:/work/") + name).NameUnrepresentable = true;
    }
    std::string found;
    TTimeValue value = 0;
    FindStamp(P("C:/work/*.txt"), skModification, found, value);
    EXPECT_EQ(found, "a.txt");
    EXPECT_EQ(value, LocalValue(2010, 6, 30, 10, 20, 30, 1234567));
    EXPECT_THROW(GetStamp(P("C:/work/b.*"), skModification, value), EAppError);
}

TEST_F(StampSource, FindStampOfNothingRaisesWithTheNameAsPassed) {
    TTimeValue value = 0;
    try {
        GetStamp(P("C:/work/*.none"), skModification, value);
        FAIL() << "no error";
    } catch (const ESrcFileNotExist &) {
        FAIL() << "wrong kind";
    } catch (const EAppError &error) {
        EXPECT_EQ(error.message(), "ファイル (" + P("C:/work/*.none") + ") が見つかりません");
    }
}

#ifndef _WIN32
TEST_F(StampSource, NameWithWildcardCharactersReadsThatVeryItem) {
    Fake().AddFile("/work/a*", 111);
    Fake().AddFile("/work/a*b", 222);
    Fake().AddFile("/work/aa", 333);
    TTimeValue value = 0;
    GetStamp("/work/a*", skModification, value);
    EXPECT_EQ(value, 111u);
    GetStamp("/work/a?", skModification, value); // no name is "a?": the first match
    EXPECT_EQ(value, 111u);
}
#endif

TEST_F(StampSource, UnknownModeLooksNothingUp) {
    Option.DateMode = dmUnknown;
    Option.Source = ssModification;
    Option.SourceFile = P("C:/missing.txt");
    EXPECT_EQ(Compute(), 0u);
    Option.SourceFile.clear();
    Fake().Items.clear();
    EXPECT_EQ(Compute(), 0u);
}

TEST_F(StampSource, NowIsTheStartOfTheRunForEveryItem) {
    Fake().Items.clear(); // the item is not even read
    EXPECT_EQ(Compute(), Scope.Times.Now);
    Option.DateMode = dmTime;
    Option.DateTime = MakeParts(0, 0, 0, 12, 0, 0, 0);
    // NowTime is 2011-01-17 04:25 UTC, 13:25 local: the local date is kept.
    EXPECT_EQ(Compute(), LocalValue(2011, 1, 17, 12, 0, 0));
}

TEST_F(StampSource, NowIsUsedEvenWhenItLooksUnknown) {
    Scope.Times.Now = Scope.Times.Unknown;
    EXPECT_EQ(Compute(), Scope.Times.Unknown);
}

TEST_F(StampSource, OwnStampsByReadKind) {
    Option.Source = ssSameKind;
    EXPECT_EQ(Compute(skCreation), LocalValue(2009, 4, 1, 8, 0, 0));
    EXPECT_EQ(Compute(skAccess), LocalValue(2010, 7, 1, 9, 0, 0));
    EXPECT_EQ(Compute(skModification), LocalValue(2010, 6, 30, 10, 20, 30, 1234567));
}

TEST_F(StampSource, UnknownSourceIgnoresOverrideAndShift) {
    Option.Source = ssCreation;
    Option.DateMode = dmDate;
    Option.DateTime = MakeParts(2020, 1, 1);
    Option.Shift = int64_t(TicksPerHour);
    Fake().Item(Item).CreationTime = 0;
    EXPECT_EQ(Compute(skCreation), 0u);
    Fake().Item(Item).CreationTime = Scope.Times.Unknown;
    EXPECT_EQ(Compute(skCreation), 0u);
    Fake().Item(Item).CreationTime = Scope.Times.Unknown + 1; // a real stamp
    EXPECT_EQ(Compute(skCreation), LocalValue(2020, 1, 1) + TicksPerHour);
}

TEST_F(StampSource, OverridesReplaceTheirFieldsOnly) {
    Option.Source = ssModification; // 2010-06-30 10:20:30.1234567 local
    Option.DateTime = MakeParts(2003, 2, 14, 7, 8, 9, 5);
    Option.DateMode = dmNone;
    EXPECT_EQ(Compute(), LocalValue(2010, 6, 30, 10, 20, 30, 1234567));
    Option.DateMode = dmTime;
    EXPECT_EQ(Compute(), LocalValue(2010, 6, 30, 7, 8, 9, 5));
    Option.DateMode = dmDay;
    EXPECT_EQ(Compute(), LocalValue(2010, 6, 14, 7, 8, 9, 5));
    Option.DateMode = dmMonthDay;
    EXPECT_EQ(Compute(), LocalValue(2010, 2, 14, 7, 8, 9, 5));
    Option.DateMode = dmDate;
    EXPECT_EQ(Compute(), LocalValue(2003, 2, 14, 7, 8, 9, 5));
}

TEST_F(StampSource, AFixedOffsetReadsTheDateAndTimeThere) {
    // The zone here is nine hours ahead; the operand's offset decides instead.
    struct TRow {
        TUtcOffset Offset;
        TDateMode Mode;
        TTimeParts Given;
        TTimeValue Expected; // UTC
    };
    const std::vector<TRow> rows = {
        {{true, 0}, dmDate, MakeParts(2011, 1, 1, 12, 0), Value(2011, 1, 1, 12, 0)},
        {{true, -5 * 60}, dmDate, MakeParts(2011, 1, 1, 12, 0), Value(2011, 1, 1, 17, 0)},
        {{true, 5 * 60 + 45}, dmDate, MakeParts(2011, 1, 1, 0, 0), Value(2010, 12, 31, 18, 15)},
        {{false, 0}, dmDate, MakeParts(2011, 1, 1, 12, 0), Value(2011, 1, 1, 3, 0)},
        // The source's date is taken at the offset too: 2010-06-30 01:20:30 UTC
        // is June 30 at +00:00, June 29 at -05:00.
        {{true, 0}, dmTime, MakeParts(0, 0, 0, 23, 0), Value(2010, 6, 30, 23, 0)},
        {{true, -5 * 60}, dmTime, MakeParts(0, 0, 0, 23, 0), Value(2010, 6, 30, 4, 0)},
        // The year test looks at the year at the offset.
        {{true, 14 * 60},
         dmDate,
         MakeParts(1980, 1, 1, 0, 0, 0, 1),
         Value(1979, 12, 31, 10, 0, 0, 1)},
    };
    Option.Source = ssModification; // 2010-06-30 10:20:30.1234567 local, 01:20:30 UTC
    for (const TRow &row : rows) {
        SCOPED_TRACE(OffsetText(row.Offset) + (row.Offset.Fixed ? "" : " (local)"));
        Option.Offset = row.Offset;
        Option.DateMode = row.Mode;
        Option.DateTime = row.Given;
        EXPECT_EQ(Compute(), row.Expected);
    }
    Option.Offset = {true, 0};
    Option.DateTime = MakeParts(1979, 12, 31, 23, 0);
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, DayMustExistInTheSourceMonth) {
    Option.Source = ssModification; // June: 30 days
    Option.DateMode = dmDay;
    Option.DateTime = MakeParts(0, 0, 30);
    EXPECT_EQ(Compute(), LocalValue(2010, 6, 30));
    Option.DateTime.wDay = 31;
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, LocalYearBefore1980IsRefused) {
    Option.Source = ssModification;
    // 1980-01-01 00:00 local is 1979-12-31 15:00 UTC: the local year counts. (That
    // very value is the unknown stamp, so one tick later.)
    Fake().Item(Item).LastWriteTime = LocalValue(1980, 1, 1, 0, 0, 0, 1);
    EXPECT_EQ(Compute(), LocalValue(1980, 1, 1, 0, 0, 0, 1));
    Fake().Item(Item).LastWriteTime = LocalValue(1979, 12, 31, 23, 59, 59, 9999999);
    EXPECT_EQ(ErrorOf(), BadDate);
    // An override into 1980 rescues it; the year test looks at the overridden parts.
    Option.DateMode = dmDate;
    Option.DateTime = MakeParts(1980, 1, 1);
    EXPECT_EQ(Compute(), LocalValue(1980, 1, 1));
    Option.DateTime.wYear = 1979;
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, YearTestIsBeforeTheShift) {
    Option.Source = ssModification;
    Fake().Item(Item).LastWriteTime = LocalValue(1980, 1, 1, 0, 30);
    Option.Shift = -int64_t(TicksPerHour);
    EXPECT_EQ(Compute(), LocalValue(1979, 12, 31, 23, 30));
}

TEST_F(StampSource, ShiftIsAnExactDurationOnTheUtcValue) {
    Option.Source = ssModification;
    Option.Shift = 25 * int64_t(TicksPerHour) + 1;
    EXPECT_EQ(Compute(), LocalValue(2010, 7, 1, 11, 20, 30, 1234568));
    Option.Shift = -int64_t(TicksPerSecond) * 86400 * 365;
    EXPECT_EQ(Compute(), LocalValue(2009, 6, 30, 10, 20, 30, 1234567));
}

TEST_F(StampSource, ResultMustStayBelowTheLimit) {
    Option.Source = ssModification;
    Fake().Item(Item).LastWriteTime = LocalValue(2100, 1, 1);
    Option.Shift = int64_t(StampLimit - 1 - LocalValue(2100, 1, 1));
    EXPECT_EQ(Compute(), StampLimit - 1);
    Option.Shift += 1;
    EXPECT_EQ(ErrorOf(), BadDate);
    // Without a shift: 2106-02-07 06:28:15.9999999 UTC is the last value accepted.
    Option.Shift = 0;
    Option.DateMode = dmDate;
    Option.DateTime = MakeParts(2106, 2, 7, 15, 28, 15, 9999999); // local, +9 h
    EXPECT_EQ(Compute(), StampLimit - 1);
    Option.DateTime.Fraction = 0;
    Option.DateTime.wSecond = 16;
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, ShiftBelow1601IsRefused) {
    Option.Source = ssModification;
    const TTimeValue source = LocalValue(1990, 1, 1);
    Fake().Item(Item).LastWriteTime = source;
    Option.Shift = -int64_t(source) + 1;
    EXPECT_EQ(Compute(), 1u); // one tick after 1601-01-01 00:00 UTC
    Option.Shift = -int64_t(source) - 1;
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, FractionAndTimeOfDayLimits) {
    Option.DateMode = dmTime;
    Option.DateTime = MakeParts(0, 0, 0, 23, 59, 59, 9999999);
    EXPECT_EQ(Compute(), LocalValue(2011, 1, 17, 23, 59, 59, 9999999));
    Option.DateTime.Fraction = 10000000;
    EXPECT_EQ(ErrorOf(), BadDate);
    Option.DateTime.Fraction = 0xFFFFFFFFu; // a fourth time group that was too long
    EXPECT_EQ(ErrorOf(), BadDate);
    Option.DateTime = MakeParts(0, 0, 0, 24, 0, 0);
    EXPECT_EQ(ErrorOf(), BadDate);
    Option.DateTime.wHour = 65535; // a time that could not be read
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, UnreadableDateIsRefusedInEveryDateMode) {
    Option.DateTime = MakeParts(65535, 0, 17);
    for (TDateMode mode : {dmDay, dmMonthDay, dmDate}) {
        Option.DateMode = mode;
        EXPECT_EQ(ErrorOf(), BadDate) << int(mode);
    }
    // A time alone does not look at the year.
    Option.DateMode = dmTime;
    EXPECT_EQ(Compute(), LocalValue(2011, 1, 17));
}

TEST_F(StampSource, SourceBeyondTheCalendarIsRefused) {
    Option.Source = ssModification;
    Fake().Item(Item).LastWriteTime = 1ULL << 63;
    EXPECT_EQ(ErrorOf(), BadDate);
    Fake().Item(Item).LastWriteTime = ~0ULL;
    EXPECT_EQ(ErrorOf(), BadDate);
}

TEST_F(StampSource, SingleSourceFileIsReplacedByTheNameFound) {
    Fake().AddFile(P("D:/old/x1.bak"), LocalValue(2001, 1, 1), LocalValue(2001, 2, 2));
    Fake().AddFile(P("D:/old/x2.bak"), LocalValue(2002, 1, 1), LocalValue(2002, 2, 2));
    Option.Source = ssSameKind;
    Option.SourceFile = P("D:/old/*.bak");
    EXPECT_EQ(Compute(skModification), LocalValue(2001, 1, 1));
    EXPECT_EQ(Option.SourceFile, P("D:/old/x1.bak"));
    // The item's next kind reads that same file even if the pattern would now find another.
    Fake().AddFile(P("D:/old/x0.bak"), LocalValue(2000, 1, 1), LocalValue(2000, 2, 2));
    EXPECT_EQ(Compute(skCreation), LocalValue(2001, 2, 2));
}

TEST_F(StampSource, MissingSingleSourceFileEndsTheRun) {
    Option.Source = ssModification;
    Option.SourceFile = P("D:/old/none.txt");
    try {
        Compute();
        FAIL() << "no error";
    } catch (const ESrcFileNotExist &) {
        FAIL() << "a single source file is no counterpart";
    } catch (const EAppError &error) {
        EXPECT_EQ(error.message(), "ファイル (" + P("D:/old/none.txt") + ") が見つかりません");
    }
}

TEST_F(StampSource, CounterpartUnderASourceFolder) {
    Item = P("C:/work/sub/a.txt");
    Fake().AddFile(Item, LocalValue(2010, 1, 1));
    Fake().AddFile(P("D:/backup/sub/a.txt"), LocalValue(2005, 5, 5, 5, 5, 5, 5));
    Fake().AddFile(P("D:/backup/a.txt"), LocalValue(2006, 6, 6));
    Option.Source = ssModification;
    Option.SourceFile = P("D:/backup/");
    EXPECT_EQ(Compute(), LocalValue(2005, 5, 5, 5, 5, 5, 5));
    EXPECT_EQ(Option.SourceFile, P("D:/backup/")); // a folder is not replaced
    // Below the source folder the counterpart is reached by folders, never through a link.
    Fake().Item(P("D:/backup/sub")).IsLink = true;
    EXPECT_THROW(Compute(), ESrcFileNotExist);
    Fake().Item(P("D:/backup/sub")).IsLink = false;
    Fake().Items.erase(P("D:/backup/sub/a.txt"));
    EXPECT_THROW(Compute(), ESrcFileNotExist);
}

TEST_F(StampSource, ProblemsOtherThanAMissingCounterpartStayErrors) {
    Fake().AddFile(P("D:/backup/a.txt"), LocalValue(1975, 1, 1));
    Option.Source = ssModification;
    Option.SourceFile = P("D:/backup/");
    try {
        Compute();
        FAIL() << "no error";
    } catch (const ESrcFileNotExist &) {
        FAIL() << "a bad date is no missing counterpart";
    } catch (const EAppError &error) {
        EXPECT_EQ(error.message(), BadDate);
    }
}

TEST(RelativeItemPath, WithinTheOperandsFolder) {
    TFakePlatformScope fake;
    EXPECT_EQ(RelativeItemPath(P("C:/work/*.txt"), P("C:/work/sub/a.txt")), P("sub/a.txt"));
    EXPECT_EQ(RelativeItemPath(P("C:/work/*.txt"), P("C:/work/a.txt")), "a.txt");
    EXPECT_EQ(RelativeItemPath("*.txt", P("sub/deeper/a.txt")), P("sub/deeper/a.txt"));
    EXPECT_EQ(RelativeItemPath(P("C:/work/a/*.txt"), P("C:/work/b/x.txt")), P("../b/x.txt"));
    EXPECT_EQ(RelativeItemPath(P("C:/work/a/b/*"), P("C:/work/x.txt")), P("../../x.txt"));
}

#ifdef _WIN32
TEST(RelativeItemPath, DrivesAndCase) {
    TFakePlatformScope fake;
    EXPECT_EQ(RelativeItemPath("C:\\Work\\*.txt", "c:\\WORK\\Sub\\a.txt"), "Sub\\a.txt");
    EXPECT_EQ(RelativeItemPath("C:\\work\\*.txt", "D:\\work\\a.txt"), "D:\\work\\a.txt");
    EXPECT_EQ(RelativeItemPath("\\\\srv\\share\\d\\*", "\\\\SRV\\Share\\d\\e\\a"), "e\\a");
    EXPECT_EQ(RelativeItemPath("C:*.txt", "C:sub\\a.txt"), "sub\\a.txt");
    // "/" separates folders as "\" does.
    EXPECT_EQ(RelativeItemPath("src/*.txt", "src/in\\t.txt"), "in\\t.txt");
    EXPECT_EQ(RelativeItemPath("C:/work/a/*.txt", "C:\\work\\b\\x.txt"), "..\\b\\x.txt");
    // 表, whose code-page form ends in the byte of "\", does not split a folder name.
    EXPECT_EQ(RelativeItemPath("C:\\表\\*", "C:\\表\\表x\\a"), "表x\\a");
}

TEST_F(StampSource, SourceThatIsOnlyADrive) {
    Item = "C:\\work\\sub\\a.txt";
    Fake().AddFile(Item, LocalValue(2010, 1, 1));
    Fake().AddFile("D:sub\\a.txt", LocalValue(2004, 4, 4));
    Option.Source = ssModification;
    Option.SourceFile = "D:";
    EXPECT_EQ(Compute(), LocalValue(2004, 4, 4));
}

TEST_F(StampSource, ANameEndingInACodePageTrailByteOfABackslashNamesAFile) {
    Fake().AddFile("D:\\data\\表", LocalValue(2007, 7, 7));
    Option.Source = ssModification;
    Option.SourceFile = "D:\\data\\表";
    EXPECT_EQ(Compute(), LocalValue(2007, 7, 7));
    EXPECT_EQ(Option.SourceFile, "D:\\data\\表");
}
#endif
