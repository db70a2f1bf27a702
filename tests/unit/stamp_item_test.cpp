#include "engine/stamp_item.h"

#include "run/stamp_pipeline.h"

#include "common/errors.h"
#include "common/paths.h"
#include "common/settings.h"
#include "engine/folder_helper.h"
#include "engine/stamp_source.h"
#include "engine_support.h"
#include "select/walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

using namespace engine_test;

namespace {

class StampItemTest : public ::testing::Test {
protected:
    TEngineScope Scope;
    TOption Option;
    std::string Item = P("C:/work/a.txt");
    const TTimeValue OldWrite = LocalValue(2010, 6, 30, 10, 20, 30, 1234567);
    const TTimeValue OldCreation = LocalValue(2009, 4, 1, 8, 0, 0, 7);
    const TTimeValue OldAccess = LocalValue(2010, 7, 1, 9, 0, 1, 3);

    void SetUp() override {
        Option.FileName = P("C:/work/*.txt");
        Fake().AddFile(Item, OldWrite, OldCreation, OldAccess);
    }

    TItemStamps Apply(bool isFolder = false) {
        TItemStamps item;
        item.Path = Item;
        item.Place.Name = Item;
        item.Options = Option;
        ApplyItemStamps(item, isFolder, Scope.Context());
        return item;
    }

    // The operand walked and stamped as a run does it, on one thread.
    void WalkAndStamp() {
        TOutput output;
        TReport report{output, Scope.Times};
        TStampPipeline pipeline(report, Scope.Context(), 7, 1, nullptr);
        pipeline.BeginOperand(Option);
        EXPECT_TRUE(SearchOperand(Option, pipeline).Found);
        pipeline.Drain();
    }

    void ExpectUnchanged() {
        const TFakeItem &item = Fake().Item(Item);
        EXPECT_EQ(item.LastWriteTime, OldWrite);
        EXPECT_EQ(item.CreationTime, OldCreation);
        EXPECT_EQ(item.LastAccessTime, OldAccess);
    }

    void SetVolume(const std::string &name) {
        if constexpr (HasDriveSyntax)
            Fake().Volumes["c:\\"] = name;
        else
            Fake().Volumes["/C/"] = name;
    }
};

} // namespace

TEST(SourceKindFor, SameKindOrTheSourceNumber) {
    TOption option;
    option.Source = ssSameKind;
    EXPECT_EQ(SourceKindFor(option, skCreation), 1);
    EXPECT_EQ(SourceKindFor(option, skAccess), 2);
    option.Source = ssAccess;
    EXPECT_EQ(SourceKindFor(option, skModification), 2);
    option.Source = ssNow;
    EXPECT_EQ(SourceKindFor(option, skCreation), 4);
}

// Where the write opens the item, the access stamp is written back as read;
// elsewhere it is not written at all and keeps every digit.
TEST_F(StampItemTest, ModificationOnlyLeavesTheAccessStampAsItWas) {
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soChanged);
    ASSERT_EQ(Fake().Writes.size(), 1u);
    const TFakeWrite &write = Fake().Writes[0];
    EXPECT_FALSE(write.IsFolder);
    EXPECT_FALSE(write.HasCreation);
    EXPECT_EQ(write.HasAccess, StampWriteOpensItem);
    EXPECT_EQ(write.Access, StampWriteOpensItem ? OldAccess : 0);
    EXPECT_TRUE(write.HasWrite);
    EXPECT_EQ(write.Write, Scope.Times.Now);
    EXPECT_EQ(Fake().Item(Item).LastWriteTime, Scope.Times.Now);
    EXPECT_EQ(Fake().Item(Item).CreationTime, OldCreation);
    // All three old stamps are read, whatever is selected.
    EXPECT_EQ(item.OldValues[0], OldWrite);
    EXPECT_EQ(item.OldValues[1], OldCreation);
    EXPECT_EQ(item.OldValues[2], OldAccess);
    EXPECT_TRUE(item.HasNewValue[0]);
    EXPECT_FALSE(item.HasNewValue[1]);
    EXPECT_FALSE(item.HasNewValue[2]);
    EXPECT_EQ(item.NewValues[1], 0u);
    EXPECT_EQ(item.NewParts[0].wHour, 13);
    EXPECT_EQ(item.NewParts[0].Fraction, 4567891u);
}

TEST_F(StampItemTest, AllSelectedKindsInOneWrite) {
    Option.Kinds.Include(skAccess);
    Option.Kinds.Include(skCreation);
    Option.Source = ssSameKind;
    Option.Shift = int64_t(TicksPerHour);
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soChanged);
    ASSERT_EQ(Fake().Writes.size(), 1u);
    const TFakeWrite &write = Fake().Writes[0];
    EXPECT_TRUE(write.HasCreation && write.HasAccess && write.HasWrite);
    EXPECT_EQ(write.Write, OldWrite + TicksPerHour);
    EXPECT_EQ(write.Creation, OldCreation + TicksPerHour);
    EXPECT_EQ(write.Access, OldAccess + TicksPerHour);
    EXPECT_EQ(Fake().Item(Item).CreationTime, OldCreation + TicksPerHour);
}

TEST_F(StampItemTest, AccessWithoutModificationLeavesItAlone) {
    Option.Kinds = TStampKinds::Of(skAccess);
    Option.Source = ssCreation;
    Apply();
    ASSERT_EQ(Fake().Writes.size(), 1u);
    EXPECT_FALSE(Fake().Writes[0].HasWrite);
    EXPECT_FALSE(Fake().Writes[0].HasCreation);
    EXPECT_EQ(Fake().Writes[0].Access, OldCreation);
    EXPECT_EQ(Fake().Item(Item).LastWriteTime, OldWrite);
}

TEST_F(StampItemTest, EqualValuesAreStillWritten) {
    Option.Source = ssModification;
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soChanged);
    EXPECT_EQ(Fake().Writes.size(), 1u);
}

TEST_F(StampItemTest, PreviewComputesButNeverOpens) {
    Option.Preview = true;
    Option.Kinds.Include(skCreation);
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soPreview);
    EXPECT_TRUE(Fake().Writes.empty());
    EXPECT_EQ(item.NewValues[0], Scope.Times.Now);
    EXPECT_EQ(item.NewValues[1], Scope.Times.Now);
    EXPECT_EQ(item.OldValues[2], OldAccess);
    ExpectUnchanged();
}

TEST_F(StampItemTest, ItemThatCannotBeWrittenIsLeftAsItWas) {
    Fake().Item(Item).FailWrite = true;
    Fake().FailCode = 1234;
    Option.Kinds.Include(skAccess);
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soFailed);
    EXPECT_EQ(item.ErrorCode, 1234u);
    ExpectUnchanged();
}

// What the platform knows without opening the item decides before any write,
// so that the preview tells what the run would do.
TEST_F(StampItemTest, KnownRefusalsInPreviewAndRun) {
    const struct {
        const char *Name;
        bool Folder, ReadOnly;
        uint32_t EntryRefusal; // another refusal that the item's entry tells
        bool WithCreation, CanSetCreation;
        uint32_t Refusal; // 0: the item is changed (or would be)
    } rows[] = {
        {"normal file", false, false, 0, true, true, 0},
        {"read-only file", false, true, 0, false, true, FakeAccessDenied},
        {"file the entry knows to be refused", false, false, 77, false, true, 77},
        {"folder the entry knows to be refused", true, false, 77, false, true, 77},
        {"creation stamp that cannot be set", false, false, 0, true, false, 1234},
        {"other stamps where creation cannot be set", false, false, 0, false, false, 0},
    };
    Fake().FailCode = 1234;
    for (const auto &row : rows)
        for (bool preview : {true, false}) {
            SCOPED_TRACE(std::string(row.Name) + (preview ? ", preview" : ", run"));
            Fake().Writes.clear();
            Fake().Item(Item).IsFolder = row.Folder;
            Fake().Item(Item).ReadOnly = row.ReadOnly;
            Fake().Item(Item).WriteRefusal = row.EntryRefusal;
            Fake().CanSetCreation = row.CanSetCreation;
            Option.Kinds = TStampKinds::Of(skModification);
            if (row.WithCreation)
                Option.Kinds.Include(skCreation);
            Option.Preview = preview;
            TItemStamps item = Apply(row.Folder);
            if (row.Refusal != 0) {
                EXPECT_EQ(item.Outcome, soFailed);
                EXPECT_EQ(item.ErrorCode, row.Refusal);
                EXPECT_TRUE(Fake().Writes.empty());
            } else {
                EXPECT_EQ(item.Outcome, preview ? soPreview : soChanged);
                EXPECT_EQ(Fake().Writes.size(), preview ? 0u : 1u);
            }
        }
}

TEST_F(StampItemTest, ReadOnlyEntryOfAFolderIsNoRefusal) {
    Item = P("C:/work/dir");
    Fake().AddFolder(Item, OldWrite, OldCreation, OldAccess);
    Fake().Item(Item).ReadOnly = true;
    EXPECT_EQ(Apply(true).Outcome, soChanged);
}

TEST_F(StampItemTest, FolderOnTheNTFamilyIsWrittenDirectly) {
    Item = P("C:/work/dir");
    Fake().AddFolder(Item, OldWrite, OldCreation, OldAccess);
    TItemStamps item = Apply(true);
    EXPECT_EQ(item.Outcome, soChanged);
    ASSERT_EQ(Fake().Writes.size(), 1u);
    EXPECT_TRUE(Fake().Writes[0].IsFolder);
    EXPECT_TRUE(Fake().ProcessStarts.empty());
}

TEST_F(StampItemTest, FolderOnThe9xFamilyGoesThroughTheHelper) {
    Fake().IsNT = false;
    Fake().AddFile(FolderPart(Fake().ModulePath) + HelperFileName);
    Scope.Times.Unknown = UnknownTime9x;
    Item = P("C:/work/dir");
    Fake().AddFolder(Item, OldWrite, OldCreation, OldAccess);
    Option.Kinds.Include(skAccess);
    Option.Kinds.Include(skCreation);
    TItemStamps item = Apply(true);
    EXPECT_EQ(item.Outcome, soChanged);
    EXPECT_TRUE(Fake().Writes.empty());
    ASSERT_EQ(Fake().ProcessStarts.size(), 3u);
    for (TStampKind kind : AllStampKinds)
        EXPECT_NE(
            Fake().ProcessStarts[size_t(kind)].find(HelperArguments(Item, Scope.Times.Now, kind)),
            std::string::npos)
            << Fake().ProcessStarts[size_t(kind)];
}

TEST_F(StampItemTest, HelperIsNotRunAgainAfterAFailedRun) {
    Fake().IsNT = false;
    Fake().FailProcessStart = true;
    Fake().AddFile(FolderPart(Fake().ModulePath) + HelperFileName);
    Item = P("C:/work/dir");
    Fake().AddFolder(Item, OldWrite, OldCreation, OldAccess);
    Option.Kinds.Include(skAccess);
    TItemStamps item = Apply(true);
    EXPECT_EQ(item.Outcome, soFailed);
    EXPECT_EQ(Fake().ProcessStarts.size(), 1u);
}

// The helper's exit code is the folder's outcome and, when it failed, the
// reason; no further run is made for the folder after a failed one.
TEST_F(StampItemTest, TheHelpersExitCodeDecidesTheOutcome) {
    Fake().IsNT = false;
    Fake().AddFile(FolderPart(Fake().ModulePath) + HelperFileName);
    Item = P("C:/work/dir");
    Fake().AddFolder(Item, OldWrite, OldCreation, OldAccess);
    Option.Kinds.Include(skAccess);
    const struct {
        uint32_t ExitCode;
        TStampOutcome Outcome;
        size_t Runs;
    } rows[] = {{0, soChanged, 2}, {3, soFailed, 1}, {206, soFailed, 1}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.ExitCode);
        Fake().ProcessStarts.clear();
        Fake().ProcessExitCode = row.ExitCode;
        TItemStamps item = Apply(true);
        EXPECT_EQ(item.Outcome, row.Outcome);
        EXPECT_EQ(item.ErrorCode, row.ExitCode);
        EXPECT_EQ(Fake().ProcessStarts.size(), row.Runs);
    }
}

TEST_F(StampItemTest, FileOnThe9xFamilyIsWrittenDirectly) {
    Fake().IsNT = false;
    TItemStamps item = Apply(false);
    EXPECT_EQ(item.Outcome, soChanged);
    EXPECT_EQ(Fake().Writes.size(), 1u);
    EXPECT_TRUE(Fake().ProcessStarts.empty());
}

// A link met below the operand's folder is written as itself, never through
// to what it points to; one that the operand matches in its own folder is
// followed, as the user named it, but a link is never taken for a folder
// unless the operand names it exactly.
TEST_F(StampItemTest, ALinkBelowTheOperandsFolderIsWrittenAsItself) {
    const struct {
        std::string Path;
        bool IsFolder;
        bool Written;
        bool FollowLink;
    } rows[] = {{P("C:/work/l.txt"), false, true, true},
                {P("C:/work/lf"), true, false, false},
                {P("C:/work/sub/m.txt"), false, true, false},
                {P("C:/work/sub/mf"), true, true, false}};
    for (const auto &row : rows) {
        if (row.IsFolder)
            Fake().AddFolder(row.Path, OldWrite);
        else
            Fake().AddFile(row.Path, OldWrite);
        Fake().Item(row.Path).IsLink = true;
    }
    auto run = [&](const std::string &pattern, TFolderMode mode, bool recurse) {
        Fake().Writes.clear();
        Option.FileName = pattern;
        Option.FolderMode = mode;
        Option.Recurse = recurse;
        WalkAndStamp();
    };
    for (TFolderMode mode : {fmNoFolders, fmMatchedFolders, fmAllFolders}) {
        run(P("C:/work/*"), mode, true);
        for (const auto &row : rows) {
            const auto write =
                std::find_if(Fake().Writes.begin(), Fake().Writes.end(),
                             [&](const TFakeWrite &w) { return w.Path == row.Path; });
            ASSERT_EQ(write != Fake().Writes.end(), row.Written) << row.Path << " " << mode;
            if (row.Written) {
                EXPECT_EQ(write->FollowLink, row.FollowLink) << row.Path;
            }
        }
    }
    // Named exactly, a link to a folder is that folder, in every mode (-f2
    // also takes the real sub-folder, sub).
    for (TFolderMode mode : {fmNoFolders, fmMatchedFolders, fmAllFolders, fmNoFiles}) {
        run(P("C:/work/lf"), mode, false);
        ASSERT_EQ(Fake().Writes.size(), mode == fmAllFolders ? 2u : 1u) << mode;
        EXPECT_EQ(Fake().Writes[0].Path, P("C:/work/lf"));
        EXPECT_TRUE(Fake().Writes[0].FollowLink);
        EXPECT_TRUE(Fake().Writes[0].IsFolder);
    }
}

// What a volume keeps is asked once for the items of its folders, not once
// per item and stamp.
TEST_F(StampItemTest, TheVolumeIsAskedOnceForTheItemsOfItsFolders) {
    SetVolume("FAT");
    Fake().FoldersTellVolumes = true;
    for (const char *path : {"C:/work/b.txt", "C:/work/sub/c.txt", "C:/work/sub/d.txt"})
        Fake().AddFile(P(path), OldWrite);
    Option.FileName = P("C:/work/*.txt");
    Option.Recurse = true;
    Option.Kinds.Include(skAccess);
    WalkAndStamp();
    EXPECT_EQ(Fake().Writes.size(), 4u);
    EXPECT_EQ(Fake().VolumeQueries, 1);
    // FAT keeps the access date only.
    TTimeParts parts;
    FileTimeToLocalParts(Fake().Item(P("C:/work/sub/d.txt")).LastAccessTime, parts);
    EXPECT_EQ(parts.wHour + parts.wMinute + parts.wSecond, 0);
}

TEST_F(StampItemTest, MissingCounterpartLeavesTheItemAlone) {
    Option.Source = ssSameKind;
    Option.SourceFile = P("D:/backup/");
    Option.Kinds = TStampKinds::Of(skCreation);
    Option.Kinds.Include(skAccess);
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soSourceMissing);
    EXPECT_EQ(item.MissingSource, P("D:/backup/a.txt"));
    EXPECT_EQ(item.ErrorCode, FakeNotFound);
    EXPECT_TRUE(Fake().Writes.empty());
    ExpectUnchanged();
    // The present stamps are all read; nothing is computed from the failed kind on.
    EXPECT_EQ(item.OldValues[0], OldWrite);
    EXPECT_EQ(item.OldValues[1], OldCreation);
    EXPECT_EQ(item.OldValues[2], OldAccess);
    for (int kind : {0, 1, 2})
        EXPECT_FALSE(item.HasNewValue[kind]) << kind;
}

TEST_F(StampItemTest, MissingCounterpartAlsoInPreview) {
    Option.Preview = true;
    Option.Source = ssModification;
    Option.SourceFile = P("D:/backup/");
    EXPECT_EQ(Apply().Outcome, soSourceMissing);
}

TEST_F(StampItemTest, CounterpartFound) {
    Fake().AddFile(P("D:/backup/a.txt"), LocalValue(2005, 5, 5, 5, 5, 5, 5));
    Option.Source = ssModification;
    Option.SourceFile = P("D:/backup/");
    TItemStamps item = Apply();
    EXPECT_EQ(item.Outcome, soChanged);
    EXPECT_EQ(Fake().Item(Item).LastWriteTime, LocalValue(2005, 5, 5, 5, 5, 5, 5));
}

// A source file that is a device, named or found by a pattern, has no stamps
// of a file: the item keeps its own, as with a missing counterpart.
TEST_F(StampItemTest, ASourceFileThatIsADeviceIsRefusedLikeAMissingOne) {
    for (const std::string &typed : {P("D:/dev/nul.txt"), P("D:/dev/n*")}) {
        Fake().AddFile(P("D:/dev/nul.txt"), LocalValue(2001, 1, 1));
        Fake().Item(P("D:/dev/nul.txt")).IsDevice = true;
        Option.Source = ssModification;
        Option.SourceFile = typed;
        TItemStamps item = Apply();
        EXPECT_EQ(item.Outcome, soSourceMissing) << typed;
        EXPECT_EQ(item.MissingSource, typed);
        EXPECT_EQ(item.Reason, DeviceSourceReason);
        EXPECT_TRUE(Fake().Writes.empty());
        ExpectUnchanged();
    }
}

TEST_F(StampItemTest, SourceFileReplacedForTheReport) {
    Fake().AddFile(P("D:/old/x1.bak"), LocalValue(2001, 1, 1), LocalValue(2001, 2, 2));
    Option.Source = ssSameKind;
    Option.SourceFile = P("D:/old/*.bak");
    Option.Kinds.Include(skCreation);
    TItemStamps item = Apply();
    EXPECT_EQ(item.Options.SourceFile, P("D:/old/x1.bak"));
    EXPECT_EQ(Fake().Item(Item).CreationTime, LocalValue(2001, 2, 2));
}

TEST_F(StampItemTest, ErrorsOtherThanAMissingCounterpartLeaveTheRoutine) {
    Option.DateMode = dmDay;
    Option.DateTime = MakeParts(0, 0, 31); // and the run starts in April
    Fake().Now = Scope.Times.Now = LocalValue(2011, 4, 10);
    EXPECT_THROW(Apply(), EAppError);
    EXPECT_TRUE(Fake().Writes.empty());
    // An item gone since it was listed is told, and the run goes on.
    Fake().Items.clear();
    const TItemStamps gone = Apply();
    EXPECT_EQ(gone.Outcome, soFailed);
    EXPECT_EQ(gone.ErrorCode, FakeNotFound);
    EXPECT_TRUE(Fake().Writes.empty());
}

TEST_F(StampItemTest, UnknownSourceWritesTheUnknownValue) {
    Fake().Item(Item).CreationTime = 0;
    Option.Source = ssCreation;
    TItemStamps item = Apply();
    EXPECT_EQ(item.NewValues[0], Scope.Times.Unknown);
    EXPECT_EQ(Fake().Item(Item).LastWriteTime, Scope.Times.Unknown);
    EXPECT_EQ(item.NewParts[0].wYear, 1980);
}

TEST_F(StampItemTest, UnknownSettingIsNotRoundedButAnUnknownSourceIs) {
    // The 9x value is 2106-12-31 15:00 UTC: FAT would cut its access stamp to midnight.
    Scope.Times.Unknown = UnknownTime9x;
    Fake().LocalOffset = 0;
    SetVolume("FAT");
    Option.Kinds = TStampKinds::Of(skAccess);
    Option.DateMode = dmUnknown;
    TItemStamps item = Apply();
    EXPECT_EQ(item.NewValues[2], UnknownTime9x);
    EXPECT_EQ(item.NewParts[2].wYear, 0); // no calendar parts for an unknown setting
    EXPECT_EQ(Fake().Writes.back().Access, UnknownTime9x);

    Option.DateMode = dmNone;
    Option.Source = ssCreation;
    Fake().Item(Item).CreationTime = 0;
    item = Apply();
    EXPECT_EQ(item.NewValues[2], Value(2106, 12, 31));
    EXPECT_EQ(item.NewParts[2].wYear, 2106);
    EXPECT_EQ(item.NewParts[2].wHour, 0);
}

// Natively a stamp keeps nanoseconds below its last tick: a value copied or
// shifted takes them along; a date or time given, the current time and a
// value rounded for FAT have none.
TEST_F(StampItemTest, TheDigitsBelowTheTickGoWithTheValue) {
    Fake().Item(Item).LastWriteNanos = 89;
    Fake().Item(Item).LastAccessNanos = 3;
    Fake().AddFile(P("D:/ref.txt"), LocalValue(2005, 5, 5), 0, LocalValue(2005, 5, 6));
    Fake().Item(P("D:/ref.txt")).LastWriteNanos = 45;
    Fake().AddFile(P("D:/backup/a.txt"), LocalValue(2005, 5, 5));
    Fake().Item(P("D:/backup/a.txt")).LastWriteNanos = 7;
    struct TRow {
        std::string Name;
        TStampSource Source;
        std::string SourceFile;
        TDateMode Mode;
        int64_t Shift;
        std::string Volume;
        int WriteNanos, AccessNanos; // -1: the kind is not written
    };
    const std::vector<TRow> rows = {
        {"its own", ssModification, "", dmNone, 0, "NTFS", 89, -1},
        {"shifted", ssModification, "", dmNone, int64_t(TicksPerHour) + 1, "NTFS", 89, -1},
        {"same kinds", ssSameKind, "", dmNone, 0, "NTFS", 89, 3},
        {"another file", ssModification, P("D:/ref.txt"), dmNone, 0, "NTFS", 45, -1},
        {"counterpart", ssModification, P("D:/backup/"), dmNone, 0, "NTFS", 7, -1},
        {"time given", ssModification, "", dmTime, 0, "NTFS", 0, -1},
        {"now", ssNow, "", dmNone, 0, "NTFS", 0, -1},
        {"rounded for FAT", ssModification, "", dmNone, 0, "FAT", 0, -1},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.Name);
        SetVolume(row.Volume);
        Option.Source = row.Source;
        Option.SourceFile = row.SourceFile;
        Option.DateMode = row.Mode;
        Option.DateTime = MakeParts(2012, 1, 1, 12, 0);
        Option.Shift = row.Shift;
        Option.Kinds = TStampKinds::Of(skModification);
        if (row.AccessNanos >= 0)
            Option.Kinds.Include(skAccess);
        Fake().Writes.clear();
        Apply();
        ASSERT_EQ(Fake().Writes.size(), 1u);
        EXPECT_EQ(Fake().Writes[0].WriteNanos, row.WriteNanos);
        if (row.AccessNanos >= 0) {
            EXPECT_EQ(Fake().Writes[0].AccessNanos, row.AccessNanos);
        }
        // Back as it was for the next row.
        Fake().Item(Item).LastWriteTime = OldWrite;
        Fake().Item(Item).LastWriteNanos = 89;
        Fake().Item(Item).LastAccessTime = OldAccess;
        Fake().Item(Item).LastAccessNanos = 3;
    }
}

TEST_F(StampItemTest, RoundingFollowsTheSwitch) {
    SetVolume("FAT");
    TItemStamps item = Apply();
    EXPECT_EQ(item.NewValues[0], LocalValue(2011, 1, 17, 13, 25, 38));
    EXPECT_EQ(item.NewParts[0].wSecond, 38);
    EXPECT_EQ(item.NewParts[0].Fraction, 0u);
    Scope.FatRounding = false;
    item = Apply();
    EXPECT_EQ(item.NewValues[0], Scope.Times.Now);
    EXPECT_EQ(Fake().Item(Item).LastWriteTime, Scope.Times.Now);
}

TEST_F(StampItemTest, EachKindRoundedByItsOwnRule) {
    SetVolume("FAT");
    Option.Kinds.Include(skCreation);
    Option.Kinds.Include(skAccess);
    Apply();
    const TFakeItem &item = Fake().Item(Item);
    EXPECT_EQ(item.LastWriteTime, LocalValue(2011, 1, 17, 13, 25, 38));
    EXPECT_EQ(item.CreationTime, LocalValue(2011, 1, 17, 13, 25, 39, 4500000));
    EXPECT_EQ(item.LastAccessTime, LocalValue(2011, 1, 17));
}

// Real files through the build's own platform table: Win32 under Wine for the
// Windows build, POSIX for the native one.
namespace {

class StampItemOnDisk : public ::testing::Test {
protected:
    std::filesystem::path Root;
    TStampContext Context;

    void SetUp() override {
        Root =
            std::filesystem::temp_directory_path() /
            ("kelvard-engine-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Root);
        std::filesystem::create_directories(Root);
        Context.Times.Unknown = UnknownTimeLocalNT;
        Platform().LocalToUtc(UnknownTimeLocalNT, Context.Times.Unknown);
        Context.FatRounding = false;
        Context.Times.Now = Value(2011, 1, 17, 4, 25, 39, 4567891);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(Root / "ro.txt", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(Root, ignored);
    }

    std::string Make(const std::string &relative, bool folder = false) {
        std::filesystem::path path = Root / std::filesystem::path(relative).make_preferred();
        std::filesystem::create_directories(folder ? path : path.parent_path());
        if (!folder)
            std::ofstream(path) << "x";
        return path.string();
    }

    // Sets all stamps that this platform can set.
    static void Preset(const std::string &path, bool folder, TTimeValue write, TTimeValue access) {
        const TStampWrite w{write, 0}, a{access, 0};
        ASSERT_TRUE(Platform().SetItemTimes(nullptr, path, folder, true, nullptr, &a, &w)) << path;
    }

    static TTimeValue Stamp(const std::string &path, TStampKind kind) {
        TTimeValue value = 0;
        GetStamp(path, kind, value);
        return value;
    }

    TItemStamps Apply(const std::string &path, const TOption &option, bool folder = false) {
        TItemStamps item;
        item.Path = path;
        item.Place.Name = path;
        item.Options = option;
        ApplyItemStamps(item, folder, Context);
        return item;
    }
};

} // namespace

TEST_F(StampItemOnDisk, NowToTheTick) {
    const std::string file = Make("a.txt");
    const TTimeValue access = Value(2001, 2, 3, 4, 5, 6, 7);
    Preset(file, false, Value(2000, 1, 1), access);
    TOption option;
    option.FileName = file;
    EXPECT_EQ(Apply(file, option).Outcome, soChanged);
    EXPECT_EQ(Stamp(file, skModification), Context.Times.Now);
    EXPECT_EQ(Stamp(file, skAccess), access); // written back as it was
    option.Kinds = TStampKinds::Of(skAccess);
    option.Shift = 1;
    EXPECT_EQ(Apply(file, option).Outcome, soChanged);
    EXPECT_EQ(Stamp(file, skAccess), Context.Times.Now + 1);
    EXPECT_EQ(Stamp(file, skModification), Context.Times.Now);
}

TEST_F(StampItemOnDisk, FromOwnStampsWithOverride) {
    const std::string file = Make("a.txt");
    Preset(file, false, Value(2005, 6, 7, 8, 9, 10, 1234567), Value(2006, 1, 1, 0, 0, 0, 1));
    TOption option;
    option.FileName = file;
    option.Source = ssModification;
    option.Kinds.Include(skAccess);
    option.DateMode = dmTime;
    option.DateTime = MakeParts(0, 0, 0, 12, 0, 0, 7654321);
    EXPECT_EQ(Apply(file, option).Outcome, soChanged);
    TTimeParts parts;
    ASSERT_TRUE(FileTimeToLocalParts(Stamp(file, skModification), parts));
    EXPECT_EQ(parts.wHour, 12);
    EXPECT_EQ(parts.wMinute, 0);
    EXPECT_EQ(parts.Fraction, 7654321u);
    EXPECT_EQ(Stamp(file, skAccess), Stamp(file, skModification));
}

TEST_F(StampItemOnDisk, FromAnotherFileByNameAndPattern) {
    const std::string file = Make("a.txt");
    const std::string source = Make(std::string("src") + PathSeparator + "one.bak");
    Preset(source, false, Value(2003, 3, 3, 3, 3, 3, 3333333), Value(2004, 4, 4, 4, 4, 4, 4444444));
    TOption option;
    option.FileName = file;
    option.Source = ssSameKind;
    option.Kinds.Include(skAccess);
    option.SourceFile = source;
    option.Shift = -int64_t(TicksPerSecond);
    EXPECT_EQ(Apply(file, option).Outcome, soChanged);
    EXPECT_EQ(Stamp(file, skModification), Value(2003, 3, 3, 3, 3, 2, 3333333));
    EXPECT_EQ(Stamp(file, skAccess), Value(2004, 4, 4, 4, 4, 3, 4444444));

    option.SourceFile = FolderPart(source) + "*.bak";
    option.Shift = 0;
    option.Kinds = TStampKinds::Of(skModification);
    TItemStamps item = Apply(file, option);
    EXPECT_EQ(item.Options.SourceFile, source);
    EXPECT_EQ(Stamp(file, skModification), Value(2003, 3, 3, 3, 3, 3, 3333333));
}

TEST_F(StampItemOnDisk, FromTheCounterpartTree) {
    const std::string sep(1, PathSeparator);
    const std::string file = Make("work" + sep + "sub" + sep + "a.txt");
    const std::string other = Make("work" + sep + "sub" + sep + "b.txt");
    const std::string twin = Make("backup" + sep + "sub" + sep + "a.txt");
    Preset(twin, false, Value(2002, 2, 2, 2, 2, 2, 2222222), Value(2002, 2, 2));
    Preset(other, false, Value(2000, 1, 1), Value(2000, 1, 1));
    TOption option;
    option.FileName = (Root / "work" / "*.txt").string();
    option.Source = ssModification;
    option.SourceFile = (Root / "backup").string() + sep;
    EXPECT_EQ(Apply(file, option).Outcome, soChanged);
    EXPECT_EQ(Stamp(file, skModification), Value(2002, 2, 2, 2, 2, 2, 2222222));
    EXPECT_EQ(Apply(other, option).Outcome, soSourceMissing);
    EXPECT_EQ(Stamp(other, skModification), Value(2000, 1, 1));
}

TEST_F(StampItemOnDisk, PreviewChangesNothing) {
    const std::string file = Make("a.txt");
    Preset(file, false, Value(2000, 1, 1, 0, 0, 0, 1), Value(2000, 1, 2, 0, 0, 0, 1));
    TOption option;
    option.FileName = file;
    option.Preview = true;
    option.Kinds.Include(skAccess);
    TItemStamps item = Apply(file, option);
    EXPECT_EQ(item.Outcome, soPreview);
    EXPECT_EQ(item.NewValues[skAccess], Context.Times.Now);
    EXPECT_EQ(Stamp(file, skModification), Value(2000, 1, 1, 0, 0, 0, 1));
    EXPECT_EQ(Stamp(file, skAccess), Value(2000, 1, 2, 0, 0, 0, 1));
}

TEST_F(StampItemOnDisk, FolderIsStamped) {
    const std::string folder = Make("dir", true);
    Preset(folder, true, Value(2000, 1, 1), Value(2000, 1, 1));
    TOption option;
    option.FileName = folder;
    option.Kinds.Include(skAccess);
    EXPECT_EQ(Apply(folder, option, true).Outcome, soChanged);
    EXPECT_EQ(Stamp(folder, skModification), Context.Times.Now);
    EXPECT_EQ(Stamp(folder, skAccess), Context.Times.Now);
}

#ifndef _WIN32
TEST_F(StampItemOnDisk, CreationCannotBeSetHereAndNothingChanges) {
    const std::string file = Make("a.txt");
    Preset(file, false, Value(2000, 1, 1, 0, 0, 0, 1), Value(2000, 1, 2, 0, 0, 0, 1));
    TOption option;
    option.FileName = file;
    option.Kinds.Include(skCreation);
    option.Kinds.Include(skAccess);
    for (bool preview : {true, false}) {
        option.Preview = preview;
        const TItemStamps item = Apply(file, option);
        EXPECT_EQ(item.Outcome, soFailed) << preview;
        EXPECT_EQ(item.ErrorCode, uint32_t(ENOTSUP)) << preview;
    }
    EXPECT_EQ(Stamp(file, skModification), Value(2000, 1, 1, 0, 0, 0, 1));
    EXPECT_EQ(Stamp(file, skAccess), Value(2000, 1, 2, 0, 0, 0, 1));
}
#endif

TEST_F(StampItemOnDisk, ReadOnlyFileKeepsItsStamps) {
    const std::string file = Make("ro.txt");
    Preset(file, false, Value(2000, 1, 1, 0, 0, 0, 1), Value(2000, 1, 2, 0, 0, 0, 1));
    std::filesystem::permissions(file,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    TOption option;
    option.FileName = file;
    option.Kinds.Include(skAccess);
    // The preview tells it too: the file's entry marks it read-only.
    for (bool preview : {true, false}) {
        option.Preview = preview;
        const TItemStamps item = Apply(file, option);
        EXPECT_EQ(item.Outcome, soFailed) << preview;
        EXPECT_EQ(item.ErrorCode, AccessDeniedCode) << preview;
    }
    EXPECT_EQ(Stamp(file, skModification), Value(2000, 1, 1, 0, 0, 0, 1));
    EXPECT_EQ(Stamp(file, skAccess), Value(2000, 1, 2, 0, 0, 0, 1));
}
