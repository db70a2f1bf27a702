// -sm as a stamp source on the in-memory platform: the offset each date is
// read at, the forms of the switch, and the items that keep their stamps.

#include "common/errors.h"
#include "engine/stamp_item.h"
#include "engine_support.h"

#include <gtest/gtest.h>

using namespace engine_test;

namespace {

std::string Be32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A little-endian TIFF structure whose Exif IFD holds the ASCII tags given.
std::string Tiff(const std::vector<std::pair<uint16_t, std::string>> &tags) {
    auto put = [](std::string &s, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            s += char(v >> (8 * i));
    };
    std::string s("II*\0", 4);
    put(s, 8, 4);
    put(s, 1, 2); // IFD0: the Exif pointer alone
    put(s, 0x8769, 2);
    put(s, 4, 2);
    put(s, 1, 4);
    put(s, 26, 4);
    put(s, 0, 4);
    const uint32_t values = 26 + 2 + uint32_t(tags.size()) * 12 + 4;
    std::string blob;
    put(s, uint32_t(tags.size()), 2);
    for (const auto &[tag, text] : tags) {
        put(s, tag, 2);
        put(s, 2, 2);
        put(s, uint32_t(text.size() + 5), 4); // the NUL and the blanks after it
        put(s, values + uint32_t(blob.size()), 4);
        blob += text + '\0' + "    "; // never inline: every value is 5 bytes or more
    }
    put(s, 0, 4);
    return s + blob;
}

std::string Jpeg(const std::string &tiff) {
    const std::string app1 = std::string("Exif\0\0", 6) + tiff;
    const size_t length = app1.size() + 2;
    return std::string("\xFF\xD8\xFF\xE1", 4) + char(length >> 8) + char(length & 0xFF) + app1 +
           std::string("\xFF\xD9", 2);
}

std::string Movie(uint32_t secondsSince1904) {
    const std::string mvhd =
        Be32(108) + "mvhd" + std::string(4, '\0') + Be32(secondsSince1904) + std::string(96, '\0');
    return Be32(16) + "ftypisom" + Be32(0) + Be32(12) + "mdat" + "xxxx" + Be32(8 + 108) + "moov" +
           mvhd;
}

class MediaSource : public ::testing::Test {
protected:
    TEngineScope Scope;
    TOption Option;
    const TTimeValue Old = LocalValue(2021, 1, 2, 3, 4, 5);

    void SetUp() override {
        Option.FileName = P("C:/work/*");
        Option.Source = ssMedia;
    }

    std::string AddFile(const std::string &name, const std::string &contents) {
        const std::string path = P("C:/work/") + name;
        Fake().AddFile(path, Old, Old, Old);
        Fake().Files[path] = contents;
        return path;
    }

    TItemStamps Apply(const std::string &path) {
        TItemStamps item;
        item.Path = path;
        item.Place.Name = path;
        item.Options = Option;
        ApplyItemStamps(item, false, Scope.Context());
        return item;
    }
};

} // namespace

// Where each date comes from, and the offset it is read at: the Exif
// offset tag, else -zo, else local time on that date (here one hour more
// from April to October); QuickTime in UTC.
TEST_F(MediaSource, OffsetsByOrigin) {
    Fake().SummerFrom = Value(2019, 4, 1);
    Fake().SummerUntil = Value(2019, 10, 1);
    Fake().SummerExtra = int64_t(TicksPerHour);
    const std::string date = "2019:04:12 15:30:12";
    const struct {
        std::string name, contents;
        bool zo; // -zo+05:00
        TTimeValue expected;
        std::string origin;
    } cases[] = {
        {"a.jpg", Jpeg(Tiff({{0x9003, date}, {0x9011, "+02:00"}})), false,
         Value(2019, 4, 12, 13, 30, 12), "Exif DateTimeOriginal +02:00"},
        {"b.jpg", Jpeg(Tiff({{0x9003, date}, {0x9011, "+02:00"}})), true,
         Value(2019, 4, 12, 13, 30, 12), "Exif DateTimeOriginal +02:00"},
        {"c.jpg", Jpeg(Tiff({{0x9003, date}})), true, Value(2019, 4, 12, 10, 30, 12),
         "Exif DateTimeOriginal +05:00"},
        {"d.jpg", Jpeg(Tiff({{0x9003, date}})), false, Value(2019, 4, 12, 5, 30, 12),
         "Exif DateTimeOriginal ローカル時刻"},
        {"e.jpg", Jpeg(Tiff({{0x9004, "2019:03:12 15:30:12"}, {0x9292, "5"}})), false,
         Value(2019, 3, 12, 6, 30, 12, 5000000), "Exif DateTimeDigitized ローカル時刻"},
        {"f.mov", Movie(1555083012u + 2082844800u), true, Value(2019, 4, 12, 15, 30, 12),
         "QuickTime CreateDate UTC"},
        {"IMG_20190412_153012.jpg", "no Exif here", false, Value(2019, 4, 12, 5, 30, 12),
         "ファイル名 ローカル時刻"},
    };
    for (const auto &c : cases) {
        Option.Offset = c.zo ? TUtcOffset{true, 300} : TUtcOffset{};
        Option.Preview = true;
        const TItemStamps item = Apply(AddFile(c.name, c.contents));
        EXPECT_EQ(item.Outcome, soPreview) << c.name << " " << item.Reason;
        EXPECT_EQ(item.NewValues[skModification], c.expected) << c.name;
        EXPECT_EQ(item.MediaOrigin, c.origin) << c.name;
    }
    EXPECT_EQ(Fake().OpenReads, 0);
}

// Combined with the other switches as any source: a shift, a time of day,
// every kind from the one date, another file's date.
TEST_F(MediaSource, CombinesWithShiftsKindsAndSourceFiles) {
    const std::string jpeg = Jpeg(Tiff({{0x9003, "2019:04:12 15:30:12"}, {0x9011, "+09:00"}}));
    const std::string a = AddFile("a.jpg", jpeg);
    Option.Shift = int64_t(TicksPerHour);
    Option.Kinds.Include(skAccess);
    TItemStamps item = Apply(a);
    EXPECT_EQ(item.Outcome, soChanged);
    EXPECT_EQ(Fake().Item(a).LastWriteTime, Value(2019, 4, 12, 7, 30, 12));
    EXPECT_EQ(Fake().Item(a).LastAccessTime, Value(2019, 4, 12, 7, 30, 12));

    Option.Shift = 0;
    Option.DateMode = dmTime;
    Option.DateTime = MakeParts(0, 0, 0, 12, 0, 0);
    EXPECT_EQ(Fake().Item(a).LastWriteTime, Value(2019, 4, 12, 7, 30, 12));
    Apply(a);
    EXPECT_EQ(Fake().Item(a).LastWriteTime, LocalValue(2019, 4, 12, 12, 0, 0));

    // -smFILE: the other file's date, and the report names it.
    Option.DateMode = dmNone;
    const std::string b = AddFile("b.txt", "");
    Option.SourceFile = a;
    item = Apply(b);
    EXPECT_EQ(item.Outcome, soChanged);
    EXPECT_EQ(Fake().Item(b).LastWriteTime, Value(2019, 4, 12, 6, 30, 12));
    EXPECT_EQ(item.Options.SourceFile, a);
}

// Items that keep their stamps, each with a reason, while the run goes on;
// a missing source file named alone ends it, as with -sw.
TEST_F(MediaSource, ItemsWithoutADateKeepTheirStamps) {
    const struct {
        std::string name, contents, sourceFile;
        TStampOutcome outcome;
        std::string reason; // a part of it
    } cases[] = {
        {"a.jpg", Jpeg(Tiff({})), "", soNoMediaDate,
         "JPEG の Exif に DateTimeOriginal も DateTimeDigitized "
         "もありません。名前にも日付がありません"},
        {"b.jpg", "\xFF\xD8\xFF\xE1\xFF\xFF", "", soNoMediaDate, "JPEG として壊れています"},
        {"c.txt", "text", "", soNoMediaDate, "撮影日時を読める形式"},
        {"d.jpg", Jpeg(Tiff({{0x9003, "1975:01:01 00:00:00"}})), "", soNoMediaDate,
         "Exif DateTimeOriginal ローカル時刻 の日時 1975-01-01 00:00:00 は使えません"},
        {"e.jpg", "", P("C:/orig/"), soSourceMissing, ""},
        {"f.jpg", "", "g.jpg", soNoMediaDate, "g.jpg: 中身は撮影日時"},
    };
    AddFile("g.jpg", "text");
    for (const auto &c : cases) {
        const std::string path = AddFile(c.name, c.contents);
        Option.SourceFile = c.sourceFile == "g.jpg" ? P("C:/work/g.jpg") : c.sourceFile;
        const TItemStamps item = Apply(path);
        EXPECT_EQ(item.Outcome, c.outcome) << c.name;
        EXPECT_NE(item.Reason.find(c.reason), std::string::npos) << c.name << ": " << item.Reason;
        EXPECT_EQ(Fake().Item(path).LastWriteTime, Old) << c.name;
    }
    EXPECT_TRUE(Fake().Writes.empty());

    Option.SourceFile = P("C:/work/none.jpg");
    EXPECT_THROW(Apply(P("C:/work/a.jpg")), EAppError);
    // An item that cannot be opened tells why.
    Option.SourceFile.clear();
    Fake().FailOpenRead = true;
    const TItemStamps item = Apply(P("C:/work/a.jpg"));
    EXPECT_EQ(item.Outcome, soNoMediaDate);
    EXPECT_NE(item.Reason.find("中身を読めません"), std::string::npos) << item.Reason;
}
