#include "engine/fs_rounding.h"

#include "common/option.h"
#include "common/settings.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace engine_test;

namespace {

class FsRounding : public ::testing::Test {
protected:
    TEngineScope Scope;
    std::string Item = P("C:/work/a.txt");

    void SetVolume(const std::string &name) {
        if constexpr (HasDriveSyntax)
            Fake().Volumes["c:\\"] = name;
        else
            Fake().Volumes["/C/"] = name;
    }

    // `kind` may lie outside the stamp kinds.
    TTimeValue Rounded(int kind, TTimeValue value) {
        RoundForFileSystem(Item, TStampKind(kind), value);
        return value;
    }
};

} // namespace

TEST_F(FsRounding, ModificationToTheEvenSecondBelowOrTo10msOnExFatNatively) {
    // exFAT: 10 ms where the system's driver keeps them (natively), else as FAT.
    struct Row {
        const char *Fs;
        bool In10ms;
    };
    for (const Row &row :
         {Row{"FAT", false}, Row{"FAT32", false}, Row{"exFAT", ExFatWriteIn10ms}}) {
        SetVolume(row.Fs);
        EXPECT_EQ(Rounded(skModification, LocalValue(2011, 1, 17, 13, 25, 39, 4567891)),
                  row.In10ms ? LocalValue(2011, 1, 17, 13, 25, 39, 4500000)
                             : LocalValue(2011, 1, 17, 13, 25, 38))
            << row.Fs;
        EXPECT_EQ(Rounded(skModification, LocalValue(2011, 1, 17, 13, 25, 38)),
                  LocalValue(2011, 1, 17, 13, 25, 38))
            << row.Fs;
        EXPECT_EQ(Rounded(skModification, LocalValue(2011, 1, 17, 13, 25, 38, 9999999)),
                  row.In10ms ? LocalValue(2011, 1, 17, 13, 25, 38, 9900000)
                             : LocalValue(2011, 1, 17, 13, 25, 38))
            << row.Fs;
    }
}

TEST_F(FsRounding, CreationToTenMilliseconds) {
    for (const char *fs : {"FAT16", "exFAT"}) {
        SetVolume(fs);
        EXPECT_EQ(Rounded(skCreation, LocalValue(2011, 1, 17, 13, 25, 39, 4567891)),
                  LocalValue(2011, 1, 17, 13, 25, 39, 4500000))
            << fs;
        EXPECT_EQ(Rounded(skCreation, LocalValue(2011, 1, 17, 13, 25, 39, 4500000)),
                  LocalValue(2011, 1, 17, 13, 25, 39, 4500000))
            << fs;
    }
}

TEST_F(FsRounding, AccessToTheLocalDateOnFatAndEvenSecondOnExFat) {
    // Local 13:25 is 04:25 UTC: FAT cuts to local midnight, not to UTC midnight.
    SetVolume("FAT");
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 13, 25, 39, 4567891)),
              LocalValue(2011, 1, 17));
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 3, 0, 0)), LocalValue(2011, 1, 17));
    SetVolume("exFAT");
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 13, 25, 39, 4567891)),
              LocalValue(2011, 1, 17, 13, 25, 38));
}

TEST_F(FsRounding, AccessOnFatToTheDateAtTheVolumesOwnOffset) {
    // A volume that keeps UTC (Linux's default) while local time is +9 h:
    // the date is UTC's, so 03:00 local on the 17th is still the 16th.
    SetVolume("FAT");
    Fake().FatOffset = 0;
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 13, 25, 39, 4567891)),
              LocalValue(2011, 1, 17, 9));
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 3)), LocalValue(2011, 1, 16, 9));
    Fake().FatOffset = -5 * 3600;
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 13, 25, 39)), LocalValue(2011, 1, 16, 14));
    // Only the date depends on it.
    EXPECT_EQ(Rounded(skModification, LocalValue(2011, 1, 17, 13, 25, 39, 1)),
              LocalValue(2011, 1, 17, 13, 25, 38));
    SetVolume("exFAT");
    EXPECT_EQ(Rounded(skAccess, LocalValue(2011, 1, 17, 13, 25, 39, 1)),
              LocalValue(2011, 1, 17, 13, 25, 38));
}

TEST_F(FsRounding, OtherFileSystemsKeepEveryDigit) {
    const TTimeValue value = LocalValue(2011, 1, 17, 13, 25, 39, 4567891);
    for (const char *fs : {"NTFS", "EXFAT", "exfat", "CDFS", "UDF", "", "FA", "xFAT"}) {
        SetVolume(fs);
        for (int kind : {0, 1, 2})
            EXPECT_EQ(Rounded(kind, value), value) << fs << " " << kind;
    }
    SetVolume("FAT");
    EXPECT_EQ(Rounded(3, value), value); // no such kind
}

TEST_F(FsRounding, FatNameInSmallLetters) {
    SetVolume("fat32");
    EXPECT_EQ(Rounded(skModification, LocalValue(2011, 1, 17, 13, 25, 39, 1)),
              LocalValue(2011, 1, 17, 13, 25, 38));
}

TEST_F(FsRounding, FailedQueryMeansNoRounding) {
    SetVolume("FAT");
    Fake().VolumeQueryFails = true;
    EXPECT_EQ(GetFileSystemName(Item), "");
    EXPECT_EQ(Rounded(skModification, LocalValue(2011, 1, 17, 13, 25, 39, 1)),
              LocalValue(2011, 1, 17, 13, 25, 39, 1));
}

TEST_F(FsRounding, VolumeIsAskedForEveryStamp) {
    SetVolume("FAT");
    Rounded(skModification, LocalValue(2011, 1, 17));
    Rounded(skAccess, LocalValue(2011, 1, 17));
    EXPECT_EQ(Fake().VolumeQueries, 2);
}

TEST_F(FsRounding, UnknownStampOfTheNTFamilyPassesUnchanged) {
    SetVolume("FAT");
    for (int kind : {0, 1, 2})
        EXPECT_EQ(Rounded(kind, Scope.Times.Unknown), Scope.Times.Unknown);
}

#ifdef _WIN32
TEST_F(FsRounding, VolumeOfDriveShareOrCurrentFolder) {
    Fake().Volumes["d:\\"] = "FAT";
    Fake().Volumes["\\\\srv\\share\\"] = "exFAT";
    Fake().Volumes[""] = "FAT12";
    EXPECT_EQ(GetFileSystemName("D:\\x\\a.txt"), "FAT");
    EXPECT_EQ(GetFileSystemName("d:a.txt"), "FAT");
    EXPECT_EQ(GetFileSystemName("\\\\srv\\share\\dir\\a.txt"), "exFAT");
    EXPECT_EQ(GetFileSystemName("sub\\a.txt"), "FAT12");
    EXPECT_EQ(GetFileSystemName("\\top\\a.txt"), "FAT12");
    EXPECT_EQ(GetFileSystemName("C:\\a.txt"), "NTFS");
}
#else
TEST_F(FsRounding, VolumeOfThePathItself) {
    Fake().Volumes["/mnt/stick"] = "FAT";
    Fake().Volumes["/mnt/stick/inner"] = "exFAT";
    EXPECT_EQ(GetFileSystemName("/mnt/stick/a.txt"), "FAT");
    EXPECT_EQ(GetFileSystemName("/mnt/stick/inner/a.txt"), "exFAT");
    EXPECT_EQ(GetFileSystemName("/home/a.txt"), "NTFS");
}

#endif

TEST(FsRoundingOnDisk, RealVolumeIsNamed) {
    // The temporary folder lies on a real volume of this machine: some name comes back.
    const std::string name = GetFileSystemName(std::filesystem::temp_directory_path().string());
    EXPECT_NE(name, "");
}

TEST(FsRoundingVolumes, AKnownVolumeIsAskedOnceAnUnknownOneEveryTime) {
    TFakePlatformScope scope;
    Fake().DefaultFileSystem = "FAT32";
    const std::string item = FakePath({HasDriveSyntax ? "C:" : "", "work", "a.txt"});
    TTimeValue value = 0;
    TimePartsToFileTime(TTimeParts{2011, 1, 0, 17, 13, 25, 39, 0, 4567891}, value);
    const TTimeValue original = value;
    TVolumeNames volumes;
    RoundForFileSystem(item, skModification, value, &volumes);
    value = original;
    RoundForFileSystem(item, skModification, value, &volumes);
    EXPECT_EQ(Fake().VolumeQueries, 2);
    for (int i = 0; i < 3; ++i) {
        value = original;
        RoundForFileSystem(item, skModification, value, &volumes, 77);
    }
    EXPECT_EQ(Fake().VolumeQueries, 3);
    EXPECT_EQ(value, original - 1 * TicksPerSecond - 4567891);
    // Another volume is asked again.
    Fake().DefaultFileSystem = "NTFS";
    value = original;
    RoundForFileSystem(item, skModification, value, &volumes, 78);
    EXPECT_EQ(Fake().VolumeQueries, 4);
    EXPECT_EQ(value, original);
}
