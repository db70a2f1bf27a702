#include "common/paths.h"

#include "engine_support.h"

#include <gtest/gtest.h>

using engine_test::P;

TEST(Paths, FolderPartAndFileName) {
    TFakePlatformScope fake;
    EXPECT_EQ(FolderPart(P("C:/work/sub/a.txt")), P("C:/work/sub/"));
    EXPECT_EQ(FileNamePart(P("C:/work/sub/a.txt")), "a.txt");
    EXPECT_EQ(FolderPart("a.txt"), "");
    EXPECT_EQ(FileNamePart("a.txt"), "a.txt");
    EXPECT_EQ(FileNamePart(P("C:/work/")), "");
    EXPECT_TRUE(EndsWithDelimiter(P("D:/backup/")));
    EXPECT_FALSE(EndsWithDelimiter(P("D:/backup")));
    EXPECT_FALSE(EndsWithDelimiter(""));
}

#ifdef _WIN32
TEST(Paths, DrivePrefixes) {
    TFakePlatformScope fake;
    EXPECT_EQ(DrivePrefix("C:\\work\\a.txt"), "C:");
    EXPECT_EQ(DrivePrefix("d:a.txt"), "d:");
    EXPECT_EQ(DrivePrefix("\\\\server\\share\\dir\\a.txt"), "\\\\server\\share");
    EXPECT_EQ(DrivePrefix("\\\\server\\share"), "\\\\server\\share");
    EXPECT_EQ(DrivePrefix("\\work\\a.txt"), "");
    EXPECT_EQ(DrivePrefix("work\\a.txt"), "");
}

TEST(Paths, ColonEndsAFolderPart) {
    TFakePlatformScope fake;
    EXPECT_EQ(FolderPart("D:a.txt"), "D:");
    EXPECT_EQ(FileNamePart("D:a.txt"), "a.txt");
    EXPECT_TRUE(EndsWithDelimiter("D:"));
}

TEST(Paths, SlashSeparatesFoldersToo) {
    TFakePlatformScope fake;
    struct {
        std::string Path, Folder, Name, Drive;
    } rows[] = {
        {"sub/b.txt", "sub/", "b.txt", ""},
        {"C:/work\\sub/b.txt", "C:/work\\sub/", "b.txt", "C:"},
        {"//server/share/dir/a.txt", "//server/share/dir/", "a.txt", "//server/share"},
        {"\\\\server/share\\a.txt", "\\\\server/share\\", "a.txt", "\\\\server/share"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.Path);
        EXPECT_EQ(FolderPart(row.Path), row.Folder);
        EXPECT_EQ(FileNamePart(row.Path), row.Name);
        EXPECT_EQ(DrivePrefix(row.Path), row.Drive);
    }
    EXPECT_TRUE(EndsWithDelimiter("src/"));
}

TEST(Paths, ACharacterWhoseCodePageFormEndsInTheByteOfABackslashIsNoSeparator) {
    TFakePlatformScope fake;
    // 表 is 0x95 0x5C in code page 932, whose second byte has the code of "\";
    // inside the program it is UTF-8, one character of the name.
    const std::string name = "D:\\data\\表";
    EXPECT_FALSE(EndsWithDelimiter(name));
    EXPECT_EQ(FolderPart(name), "D:\\data\\");
    EXPECT_EQ(FileNamePart(name), "表");
    EXPECT_EQ(FolderPart("表"
                         "a.txt"),
              "");
    EXPECT_EQ(DrivePrefix("\\\\srv\\表x\\a.txt"), "\\\\srv\\表x");
}
#else
TEST(Paths, NoDrivePrefixesNatively) {
    TFakePlatformScope fake;
    EXPECT_EQ(DrivePrefix("C:/work"), "");
    EXPECT_EQ(DrivePrefix("//server/share/a"), "");
    // ":" and "\" are ordinary characters of a name.
    EXPECT_EQ(FileNamePart("/work/a:b\\c"), "a:b\\c");
}
#endif
