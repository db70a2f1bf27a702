// The media-date readers over files built here: one table per source, and
// broken files, which never give a date.

#include "media/media_date.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

using TTag = std::pair<uint16_t, std::string>; // an ASCII tag of the Exif IFD

void Put16(std::string &s, size_t at, uint16_t v, bool little) {
    s[at] = char(little ? v : v >> 8);
    s[at + 1] = char(little ? v >> 8 : v);
}
void Put32(std::string &s, size_t at, uint32_t v, bool little) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = char(v >> (little ? 8 * i : 8 * (3 - i)));
}
std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    Put32(s, 0, v, false);
    return s;
}
std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    Put32(s, 0, v, true);
    return s;
}

// A TIFF structure: IFD0 with the Exif IFD pointer (and IFD0's own
// DateTime, which is never taken), the Exif IFD with `tags`, their values
// after it.
std::string Tiff(const std::vector<TTag> &tags, bool little = true) {
    std::string s = little ? std::string("II*\0", 4) : std::string("MM\0*", 4);
    s += std::string(4, '\0');
    Put32(s, 4, 8, little);
    // IFD0 at 8: DateTime (0x0132) and the Exif pointer, 2 entries.
    const size_t ifd0 = 8, exif = ifd0 + 2 + 2 * 12 + 4;
    const size_t values = exif + 2 + tags.size() * 12 + 4;
    s.resize(values);
    Put16(s, ifd0, 2, little);
    std::string blob = std::string("2001:01:01 01:01:01\0", 20);
    size_t at = ifd0 + 2;
    Put16(s, at, 0x0132, little);
    Put16(s, at + 2, 2, little);
    Put32(s, at + 4, 20, little);
    Put32(s, at + 8, uint32_t(values), little);
    at += 12;
    Put16(s, at, 0x8769, little);
    Put16(s, at + 2, 4, little);
    Put32(s, at + 4, 1, little);
    Put32(s, at + 8, uint32_t(exif), little);
    Put16(s, exif, uint16_t(tags.size()), little);
    at = exif + 2;
    for (const TTag &tag : tags) {
        const std::string value = tag.second + '\0';
        Put16(s, at, tag.first, little);
        Put16(s, at + 2, 2, little);
        Put32(s, at + 4, uint32_t(value.size()), little);
        if (value.size() <= 4) {
            for (size_t i = 0; i < value.size(); ++i)
                s[at + 8 + i] = value[i];
        } else {
            Put32(s, at + 8, uint32_t(values + blob.size()), little);
            blob += value;
        }
        at += 12;
    }
    return s + blob;
}

std::string Jpeg(const std::string &tiff) {
    const std::string app1 = "Exif" + std::string(2, '\0') + tiff;
    std::string s = "\xFF\xD8\xFF\xE0" + std::string("\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 16);
    s += "\xFF\xE1";
    s += char((app1.size() + 2) >> 8);
    s += char((app1.size() + 2) & 0xFF);
    return s + app1 + "\xFF\xDA\0\x02\xFF\xD9";
}

std::string PngChunk(const std::string &type, const std::string &data) {
    return Be32(uint32_t(data.size())) + type + data + "CRC!";
}
std::string Png(const std::string &tiff) {
    return "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", std::string(13, '\0')) + PngChunk("IDAT", "xx") +
           PngChunk("eXIf", tiff) + PngChunk("IEND", "");
}

std::string WebP(const std::string &exif) {
    std::string body = "WEBP";
    body += "VP8X" + Le32(10) + std::string(10, '\0');
    body += "EXIF" + Le32(uint32_t(exif.size())) + exif + (exif.size() % 2 ? "\0" : "");
    return "RIFF" + Le32(uint32_t(body.size())) + body;
}

std::string Box(const std::string &type, const std::string &body) {
    return Be32(uint32_t(body.size() + 8)) + type + body;
}
std::string FullBox(const std::string &type, uint8_t version, const std::string &body) {
    return Box(type, std::string(1, char(version)) + std::string(3, '\0') + body);
}

// A HEIF image: the Exif item 2 in iinf, its place (a file offset) in iloc.
std::string Heif(const std::string &tiff, uint8_t ilocVersion = 1) {
    const std::string ftyp = Box("ftyp", "heic" + Be32(0) + "mif1heic");
    const std::string payload = Be32(0) + tiff;
    auto infe = [](uint16_t id, const std::string &type) {
        return FullBox("infe", 2,
                       std::string(1, char(id >> 8)) + char(id & 0xFF) + std::string(2, '\0') +
                           type + std::string(1, '\0'));
    };
    const std::string iinf =
        FullBox("iinf", 0, std::string("\0\x02", 2) + infe(1, "hvc1") + infe(2, "Exif"));
    auto iloc = [&](uint32_t offset) {
        std::string b;
        b += char(0x44); // offset and length: 4 bytes each
        b += char(0x00); // no base offset, no index
        b += std::string("\0\x01", 2);
        b += std::string("\0\x02", 2); // item 2
        if (ilocVersion >= 1)
            b += std::string("\0\0", 2); // construction method 0
        b += std::string("\0\0", 2);     // data reference
        b += std::string("\0\x01", 2);   // one extent
        b += Be32(offset) + Be32(uint32_t(payload.size()));
        return FullBox("iloc", ilocVersion, b);
    };
    // The meta box's size does not depend on the offset it holds.
    const size_t metaSize = Box("meta", std::string(4, '\0') + iinf + iloc(0)).size();
    const size_t offset = ftyp.size() + metaSize + 8;
    const std::string meta = Box("meta", std::string(4, '\0') + iinf + iloc(uint32_t(offset)));
    return ftyp + meta + Box("mdat", payload);
}

// A movie: mdat first (the usual camera layout puts moov last), mvhd of
// `version` holding `seconds` since 1904.
std::string Movie(uint64_t seconds, int version = 0, bool moovFirst = false) {
    std::string mvhd = version == 1 ? std::string(16, '\0') + std::string(8, '\0')
                                    : Be32(uint32_t(seconds)) + Be32(0);
    if (version == 1)
        for (int i = 0; i < 8; ++i)
            mvhd[i] = char(seconds >> (56 - 8 * i));
    const std::string moov =
        Box("moov", FullBox("mvhd", uint8_t(version), mvhd + std::string(80, '\0')));
    const std::string ftyp = Box("ftyp", "isom" + Be32(0) + "isommp42");
    const std::string mdat = Box("mdat", std::string(100, 'x'));
    return moovFirst ? ftyp + moov + mdat : ftyp + mdat + moov;
}

const std::string DateText = "2019:04:12 15:30:12";
// 2019-04-12 15:30:12 as seconds since 1904.
constexpr uint64_t MovieSeconds = 1555083012ULL + 2082844800ULL;

TMediaResult Read(const std::string &file) {
    TMemorySource source(file.data(), file.size());
    return ReadContentDate(source);
}

std::string Shown(const TMediaResult &r) {
    if (r.Finding != mfFound)
        return std::string(ContainerName(r.Container)) + " finding " + std::to_string(r.Finding);
    const TTimeParts &p = r.Date.Parts;
    char text[128];
    std::snprintf(text, sizeof text, "%s %s %04u-%02u-%02u %02u:%02u:%02u.%07u%s",
                  ContainerName(r.Container), OriginName(r.Date.Origin), p.wYear, p.wMonth, p.wDay,
                  p.wHour, p.wMinute, p.wSecond, unsigned(p.Fraction),
                  r.Date.IsUtc       ? " UTC"
                  : r.Date.HasOffset ? (" " + std::to_string(r.Date.OffsetMinutes) + "min").c_str()
                                     : "");
    return text;
}

} // namespace

// Which Exif tag gives the date, with which offset and fraction.
TEST(MediaExif, TagsAndTheirPrecedence) {
    const struct {
        std::vector<TTag> tags;
        bool little;
        const char *expected;
    } cases[] = {
        {{{0x9003, DateText}}, true, "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000"},
        {{{0x9003, DateText}}, false, "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000"},
        {{{0x9004, "2019:04:12 15:30:13"}, {0x9003, DateText}},
         true,
         "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000"},
        {{{0x9004, "2019:04:12 15:30:13"}},
         true,
         "TIFF Exif DateTimeDigitized 2019-04-12 15:30:13.0000000"},
        // An all-zero or blank original: the digitized date.
        {{{0x9003, "0000:00:00 00:00:00"}, {0x9004, DateText}},
         true,
         "TIFF Exif DateTimeDigitized 2019-04-12 15:30:12.0000000"},
        {{{0x9003, "                   "}}, true, "TIFF finding 1"},
        {{{0x9003, "2019:02:29 15:30:12"}}, true, "TIFF finding 1"}, // no such day
        // Offsets: the date's own; OffsetTime (0x9010) belongs to another date.
        {{{0x9003, DateText}, {0x9011, "+09:00"}},
         true,
         "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000 540min"},
        {{{0x9004, DateText}, {0x9011, "+09:00"}, {0x9012, "-05:30"}},
         true,
         "TIFF Exif DateTimeDigitized 2019-04-12 15:30:12.0000000 -330min"},
        {{{0x9003, DateText}, {0x9010, "+09:00"}},
         true,
         "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000"},
        {{{0x9003, DateText}, {0x9011, "+25:00"}},
         true,
         "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000"},
        // Sub-seconds: "57" is 0.57 s; the digitized one for the digitized date.
        {{{0x9003, DateText}, {0x9291, "57"}, {0x9292, "1"}},
         true,
         "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.5700000"},
        {{{0x9004, DateText}, {0x9291, "57"}, {0x9292, "123456789"}},
         true,
         "TIFF Exif DateTimeDigitized 2019-04-12 15:30:12.1234567"},
        {{{0x9003, DateText}, {0x9291, "5x"}},
         true,
         "TIFF Exif DateTimeOriginal 2019-04-12 15:30:12.0000000"},
        // IFD0's DateTime alone, which editors rewrite, is no date.
        {{}, true, "TIFF finding 1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Shown(Read(Tiff(c.tags, c.little))), c.expected) << c.expected;
}

// Each container carries the same Exif block, or a movie header.
TEST(MediaContainers, EachGivesItsDate) {
    const std::string tiff = Tiff({{0x9003, DateText}, {0x9011, "+02:00"}});
    const std::string found = " Exif DateTimeOriginal 2019-04-12 15:30:12.0000000 120min";
    const std::string movie = "QuickTime QuickTime CreateDate 2019-04-12 15:30:12.0000000 UTC";
    const struct {
        std::string file;
        std::string expected;
    } cases[] = {
        {Jpeg(tiff), "JPEG" + found},
        {Png(tiff), "PNG" + found},
        {WebP(tiff), "WebP" + found},
        {WebP("Exif" + std::string(2, '\0') + tiff), "WebP" + found},
        {Heif(tiff), "HEIF" + found},
        {Heif(tiff, 0), "HEIF" + found},
        {Movie(MovieSeconds), movie},
        {Movie(MovieSeconds, 1), movie},
        {Movie(MovieSeconds, 0, true), movie},
        {Movie(0), "QuickTime finding 1"},
        {Jpeg(Tiff({})), "JPEG finding 1"},
        {"plain text, no container", " finding 1"},
        {"", " finding 1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Shown(Read(c.file)), c.expected) << c.expected;
}

// A file cut anywhere, or with sizes and offsets that point outside it or
// back into it, gives no date (or, cut after the date, the same date), and
// every reader ends.
TEST(MediaBroken, NoDateFromABrokenFile) {
    const std::string tiff = Tiff({{0x9003, DateText}});
    const std::string files[] = {Jpeg(tiff), Png(tiff),           WebP(tiff),
                                 Heif(tiff), Movie(MovieSeconds), Movie(MovieSeconds, 1),
                                 tiff};
    for (const std::string &file : files) {
        const std::string whole = Shown(Read(file));
        for (size_t size = 0; size < file.size(); ++size) {
            const TMediaResult cut = Read(file.substr(0, size));
            if (cut.Finding == mfFound) {
                EXPECT_EQ(Shown(cut), whole) << "cut at " << size;
            }
        }
    }

    std::vector<std::pair<std::string, std::string>> broken;
    // IFD chains that loop: IFD0's next IFD is itself; the Exif pointer is 0.
    std::string loop = Tiff({});
    Put32(loop, 8 + 2 + 2 * 12, 8, true);
    Put32(loop, 8 + 2 + 12, 0x9999, true); // Exif pointer out of the file
    broken.emplace_back("Exif IFD beyond the end", loop);
    std::string self = Tiff({});
    Put16(self, 8 + 2 + 12, 0x0100, true); // no Exif pointer
    Put32(self, 8 + 2 + 2 * 12, 8, true);  // next IFD: IFD0 again
    broken.emplace_back("IFD0 chained to itself", self);
    std::string count = Tiff({{0x9003, DateText}});
    Put16(count, 8 + 2 + 2 * 12 + 4, 0xFFFF, true);
    broken.emplace_back("entry count beyond the end", count);
    std::string value = Tiff({{0x9003, DateText}});
    Put32(value, 8 + 2 + 2 * 12 + 4 + 2 + 8, 0xFFFFFFF0u, true);
    broken.emplace_back("value offset wrapping", value);
    // Box sizes 0 (to the end), 1 (a 64-bit size follows), beyond the end.
    std::string movie = Movie(MovieSeconds);
    Put32(movie, 24, 0, false); // mdat runs to the end: moov is inside it
    broken.emplace_back("mdat of size 0", movie);
    movie = Movie(MovieSeconds);
    Put32(movie, 24, 1, false); // a 64-bit size that the bytes after it give
    broken.emplace_back("mdat of size 1", movie);
    movie = Movie(MovieSeconds);
    Put32(movie, 24, 0x7FFFFFF0u, false);
    broken.emplace_back("mdat beyond the end", movie);
    movie = Movie(MovieSeconds);
    Put32(movie, 24, 4, false); // smaller than its header
    broken.emplace_back("mdat smaller than a header", movie);
    std::string png = Png(tiff);
    Put32(png, 8 + 25 + 14, 0xFFFFFFF0u, false);
    broken.emplace_back("PNG chunk beyond the end", png);
    std::string heif = Heif(tiff);
    heif[heif.size() - tiff.size() - 1] = char(0xF0); // the TIFF header offset past the item
    broken.emplace_back("HEIF Exif offset beyond its item", heif);
    std::string random;
    uint32_t state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        random += char(state >> 16);
    }
    broken.emplace_back("random bytes", random);
    broken.emplace_back("JPEG of fill bytes", "\xFF\xD8" + std::string(500, '\xFF'));
    for (const auto &[what, file] : broken)
        EXPECT_NE(Read(file).Finding, mfFound) << what;
}

// Dates in names, as cameras, phones and messengers write them.
TEST(MediaNames, TheFormsThatGiveADate) {
    const struct {
        const char *name;
        const char *expected; // "" for no date
    } cases[] = {
        {"IMG_20190412_153012.jpg", "2019-04-12 15:30:12.0000000"},
        {"VID_20190412_153012.mp4", "2019-04-12 15:30:12.0000000"},
        {"PXL_20190412_153012345.jpg", "2019-04-12 15:30:12.3450000"},
        {"IMG-20190412-WA0003.jpg", "2019-04-12 00:00:00.0000000"},
        {"Screenshot_2019-04-12-15-30-12.png", "2019-04-12 15:30:12.0000000"},
        {"2019-04-12 15.30.12.jpg", "2019-04-12 15:30:12.0000000"},
        {"signal-2019-04-12-153012.jpg", "2019-04-12 15:30:12.0000000"},
        {"scan 20190412.pdf", "2019-04-12 00:00:00.0000000"},
        {"20190412T153012.jpg", "2019-04-12 15:30:12.0000000"},
        {"2019_04_12_15_30_12_123456789.jpg", "2019-04-12 15:30:12.1234567"},
        {"2019.04.12.jpg", "2019-04-12 00:00:00.0000000"},
        {"20190412_253012.jpg", "2019-04-12 00:00:00.0000000"}, // no such hour: the date alone
        {"20200229.jpg", "2020-02-29 00:00:00.0000000"},
        {"20190229.jpg", ""},     // no such day
        {"120190412.jpg", ""},    // inside a longer number
        {"2019-04-1215.jpg", ""}, // the day runs on
        {"2019-04_12.jpg", ""},   // mixed separators
        {"IMG_1234.jpg", ""},
        {"DSC00001.JPG", ""},
        {"99991231.jpg", ""}, // beyond the years taken
    };
    for (const auto &c : cases) {
        TMediaDate date;
        const bool found = ReadNameDate(c.name, date);
        std::string shown;
        if (found) {
            const TTimeParts &p = date.Parts;
            char text[64];
            std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%07u", p.wYear,
                          p.wMonth, p.wDay, p.wHour, p.wMinute, p.wSecond, unsigned(p.Fraction));
            shown = text;
            EXPECT_EQ(date.Origin, moFileName);
        }
        EXPECT_EQ(shown, c.expected) << c.name;
    }
}
