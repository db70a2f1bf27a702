#include "common/option.h"

#include <gtest/gtest.h>

TEST(Option, ResetKeepsTheOperandAndTheDateButNothingElse) {
    TOption option;
    option.FileName = "a.txt";
    option.Source = ssSameKind;
    option.Kinds = TStampKinds::Of(skAccess);
    option.DateMode = dmDate;
    option.FolderMode = fmNoFiles;
    option.Recurse = option.Preview = option.IgnoreNotFound = true;
    option.MakeRestoreFile = option.Expert = true;
    option.DateTime.wYear = 2011;
    option.DateTime.Fraction = 5;
    option.Shift = -7;
    option.SourceFile = "src";
    ResetOption(option);
    EXPECT_EQ(option.FileName, "a.txt");
    EXPECT_EQ(option.DateTime.wYear, 2011);
    EXPECT_EQ(option.DateTime.Fraction, 5u);
    EXPECT_EQ(option.Source, ssNow);
    EXPECT_EQ(option.Kinds, TStampKinds::Of(skModification));
    EXPECT_EQ(option.DateMode, dmNone);
    EXPECT_EQ(option.FolderMode, fmNoFolders);
    EXPECT_FALSE(option.Recurse || option.Preview || option.IgnoreNotFound ||
                 option.MakeRestoreFile || option.Expert);
    EXPECT_EQ(option.Shift, 0);
    EXPECT_EQ(option.SourceFile, "");
}
