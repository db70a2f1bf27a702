// Stamping folders through the helper program.
#include "common/settings.h"
#include "common/timevalue.h"
#include "engine/folder_helper.h"
#include "fake/fake_platform.h"
#include "time_support.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr int64_t Jst = 9 * int64_t(TicksPerHour);

TTimeValue ValueOf(int year, int month, int day, int hour, int minute, int second, int ms) {
    TTimeValue value = 0;
    EXPECT_TRUE(TimePartsToFileTime(
        MakeParts(year, month, day, hour, minute, second, uint32_t(ms) * 10000u), value));
    return value;
}

// A local date and time as the UTC value of the fake's zone.
TTimeValue LocalValue(int year, int month, int day, int hour, int minute, int second, int ms) {
    return ValueOf(year, month, day, hour, minute, second, ms) - uint64_t(Fake().LocalOffset);
}

class FolderHelper : public ::testing::Test {
protected:
    void SetUp() override {
        Fake().IsNT = false;
        Fake().LocalOffset = Jst;
        Fake().ModulePath =
            HasDriveSyntax ? "C:\\Program Files\\Kelvard\\Kelvard.exe" : "/opt/kelvard/kelvard";
        Helper =
            HasDriveSyntax ? "C:\\Program Files\\Kelvard\\Folvane.exe" : "/opt/kelvard/Folvane.exe";
        ShortHelper = HasDriveSyntax ? "C:\\PROGRA~1\\Kelvard\\Folvane.exe" : Helper;
        Fake().ShortNames[Helper] = ShortHelper;
    }
    TFakePlatformScope Scope;
    std::string Helper, ShortHelper;
};

TEST_F(FolderHelper, ArgumentsOfTheExample) {
    TTimeValue value = LocalValue(2011, 1, 17, 13, 25, 39, 450);
    TDosStamp stamp = DosStampOf(value);
    EXPECT_EQ(stamp.Date, 15921);
    EXPECT_EQ(stamp.Time, 27443);
    EXPECT_EQ(stamp.Count, 145);
    EXPECT_EQ(HelperArguments("C:\\data", value, skCreation), "\"C:\\data\" 7 3E31 6B33 91");
    EXPECT_EQ(HelperArguments("C:\\data", value, skModification), "\"C:\\data\" 3 3E31 6B33 91");
    EXPECT_EQ(HelperArguments("C:\\data", value, skAccess), "\"C:\\data\" 5 3E31 6B33 91");
    // On an even second the count holds the milliseconds only.
    EXPECT_EQ(HelperArguments("C:\\data", LocalValue(2011, 1, 17, 13, 25, 38, 450), skCreation),
              "\"C:\\data\" 7 3E31 6B33 2D");
}

TEST_F(FolderHelper, DateAndTimeAreLocalTheCountComesFromUtc) {
    // 2011-01-17 23:59:59.990 UTC is 2011-01-18 08:59:59.990 in JST.
    TTimeValue value = ValueOf(2011, 1, 17, 23, 59, 59, 990);
    TDosStamp stamp = DosStampOf(value);
    EXPECT_EQ(stamp.Date, (2011 - 1980) * 512 + 1 * 32 + 18);
    EXPECT_EQ(stamp.Time, 8 * 2048 + 59 * 32 + 29);
    EXPECT_EQ(stamp.Count, 199);
    // A zone half an hour off keeps the parity of the second.
    Fake().LocalOffset = -int64_t(TicksPerHour) * 9 / 2;
    stamp = DosStampOf(value);
    EXPECT_EQ(stamp.Date, (2011 - 1980) * 512 + 1 * 32 + 17);
    EXPECT_EQ(stamp.Time, 19 * 2048 + 29 * 32 + 29);
    EXPECT_EQ(stamp.Count, 199);
}

TEST_F(FolderHelper, LocalDatesOutside1980To2107GiveZeros) {
    EXPECT_EQ(HelperArguments("d", LocalValue(1979, 12, 31, 23, 59, 59, 0), skModification),
              "\"d\" 3 0 0 0");
    EXPECT_EQ(HelperArguments("d", LocalValue(2108, 1, 1, 0, 0, 1, 500), skModification),
              "\"d\" 3 0 0 0");
    EXPECT_EQ(HelperArguments("d", LocalValue(1980, 1, 1, 0, 0, 0, 0), skModification),
              "\"d\" 3 21 0 0");
    EXPECT_EQ(HelperArguments("d", LocalValue(2107, 12, 31, 23, 59, 59, 990), skModification),
              "\"d\" 3 FF9F BF7D C7");
    // The unknown-time value of the 9x family is an ordinary value: 2107-01-01
    // 00:00 in JST.
    EXPECT_EQ(HelperArguments("d", UnknownTime9x, skModification), "\"d\" 3 FE21 0 0");
}

TEST_F(FolderHelper, RunsTheHelperBesideTheProgramByItsShortName) {
    TTimeValue value = LocalValue(2011, 1, 17, 13, 25, 39, 450);
    std::string folder = HasDriveSyntax ? "D:\\My Folder\\x" : "/data/My Folder/x";
    EXPECT_TRUE(StampFolderByHelper(folder, value, skCreation));
    ASSERT_EQ(Fake().ProcessStarts.size(), 1u);
    EXPECT_EQ(Fake().ProcessStarts[0], ShortHelper + " \"" + folder + "\" 7 3E31 6B33 91");
}

TEST_F(FolderHelper, FailsWhenTheHelperIsMissingOrCannotStart) {
    TTimeValue value = LocalValue(2011, 1, 17, 13, 25, 39, 450);
    Fake().FailProcessStart = true;
    EXPECT_FALSE(StampFolderByHelper("C:\\data", value, skModification));
    EXPECT_EQ(Fake().ProcessStarts.size(), 1u);

    Fake().FailProcessStart = false;
    Fake().ShortNames.clear(); // no helper in the program's folder
    EXPECT_FALSE(StampFolderByHelper("C:\\data", value, skModification));
    EXPECT_EQ(Fake().ProcessStarts.size(), 1u); // nothing started
}

} // namespace
