"""-sm: the date a file's own contents (or its name) give, on real files
dated with exiftool, which also gives the independent reading compared with."""

import calendar
import json
import os
import random
import shutil
import struct
import subprocess
import time
import unittest
import zlib

from kelvard_cli import SEP, TempDirTestCase, main, state_environment

EXIFTOOL = shutil.which("exiftool")
HEIF_ENC = shutil.which("heif-enc")
UTC = {"TZ": "UTC"}
OLD_NS = 1000000000 * 10**9  # 2001-09-09


def box(kind, body):
    return struct.pack(">I", len(body) + 8) + kind + body


def jpeg():
    """A 1x1 grey baseline JPEG, segment by segment."""
    return (b"\xff\xd8" + b"\xff\xdb\x00\x43\x00" + bytes([1] * 64) +
            b"\xff\xc0\x00\x0b\x08\x00\x01\x00\x01\x01\x01\x11\x00" +
            b"\xff\xc4\x00\x14\x00" + bytes([1] + [0] * 15) + b"\x00" +
            b"\xff\xc4\x00\x14\x10" + bytes([1] + [0] * 15) + b"\x00" +
            b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00" + b"\x00\x00\xff\xd9")


def png():
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\x00\xff\x00\x00")) + chunk(b"IEND", b""))


def webp():
    """A 1x1 lossless WebP."""
    return (b"RIFF\x1a\x00\x00\x00WEBPVP8L\x0d\x00\x00\x00\x2f\x00\x00\x00\x10\x07\x10\x11"
            b"\x11\x88\x88\xfe\x07\x00")


def tiff():
    """A 1x1 grey uncompressed TIFF."""
    entries = [(256, 3, 1), (257, 3, 1), (258, 3, 8), (259, 3, 1), (262, 3, 1), (273, 4, None),
               (277, 3, 1), (278, 3, 1), (279, 4, 1)]
    data = 8 + 2 + len(entries) * 12 + 4
    out = b"II*\x00" + struct.pack("<IH", 8, len(entries))
    for tag, kind, value in entries:
        value = data if value is None else value
        out += struct.pack("<HHIHH" if kind == 3 else "<HHII", tag, kind, 1, value,
                           *([0] if kind == 3 else []))
    return out + struct.pack("<I", 0) + b"\x80"


def mvhd(seconds, version=0):
    if version == 1:
        times = struct.pack(">QQIQ", seconds, seconds, 1000, 0)
    else:
        times = struct.pack(">IIII", seconds, seconds, 1000, 0)
    matrix = struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000)
    return box(b"mvhd", bytes([version, 0, 0, 0]) + times + b"\x00\x01\x00\x00\x01\x00" +
               b"\x00" * 10 + matrix + b"\x00" * 24 + struct.pack(">I", 2))


def movie(seconds=0, brand=b"isom", version=0):
    """A movie with its media data first and the moov box last."""
    return (box(b"ftyp", brand + b"\x00\x00\x02\x00" + brand + b"mp41") +
            box(b"mdat", b"x" * 64) + box(b"moov", mvhd(seconds, version)))


def exiftool(*args):
    subprocess.run([EXIFTOOL, "-q", "-q", "-overwrite_original"] + list(args), check=True,
                   stdout=subprocess.DEVNULL)


def exif_reading(path):
    """exiftool's own reading of the file's dates, as ns since 1970 UTC
    (None for none): DateTimeOriginal at its offset, QuickTime's in UTC."""
    out = subprocess.run([EXIFTOOL, "-j", "-n", "-api", "LargeFileSupport=1", "-DateTimeOriginal", "-OffsetTimeOriginal",
                          "-SubSecTimeOriginal", "-QuickTime:CreateDate", path],
                         check=True, capture_output=True).stdout
    tags = json.loads(out)[0]
    date = tags.get("DateTimeOriginal") or tags.get("CreateDate")
    if not date:
        return None
    seconds = calendar.timegm(time.strptime(str(date)[:19], "%Y:%m:%d %H:%M:%S"))
    offset = tags.get("OffsetTimeOriginal")
    if offset:
        sign = -1 if offset[0] == "-" else 1
        seconds -= sign * (int(offset[1:3]) * 3600 + int(offset[4:6]) * 60)
    fraction = str(tags.get("SubSecTimeOriginal", ""))
    return seconds * 10**9 + (int((fraction + "000000000")[:9]) if fraction else 0)


def ns(year, month, day, hour=0, minute=0, second=0, fraction_ns=0):
    return calendar.timegm((year, month, day, hour, minute, second)) * 10**9 + fraction_ns


class MediaTestCase(TempDirTestCase):
    def write(self, name, data, mtime_ns=OLD_NS):
        p = self.path(name)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
        os.utime(p, ns=(mtime_ns, mtime_ns))
        return p

    def mtime(self, name):
        return os.stat(self.path(name)).st_mtime_ns


@unittest.skipUnless(EXIFTOOL, "exiftool (libimage-exiftool-perl) is not installed")
class ExifDates(MediaTestCase):
    def test_each_container_as_exiftool_reads_it(self):
        files = [("a.jpg", jpeg()), ("a.tif", tiff()), ("a.png", png()), ("a.webp", webp()),
                 ("a.dng", tiff())]
        if HEIF_ENC:
            self.write("src.png", png())
            subprocess.run([HEIF_ENC, "-o", self.path("a.heic"), self.path("src.png")],
                           check=True, capture_output=True)
            os.remove(self.path("src.png"))
            files.append(("a.heic", None))
        # Each with another date, offset and fraction.
        for i, (name, data) in enumerate(files):
            if data is not None:
                self.write(name, data)
            exiftool("-DateTimeOriginal=2019:04:%02d 15:30:12" % (10 + i),
                     "-OffsetTimeOriginal=+0%d:00" % i, "-SubSecTimeOriginal=%d7" % i,
                     "-OffsetTime=-11:00", "-ModifyDate=2022:01:01 00:00:00", self.path(name))
        r = self.run_here(["-sm"] + [name for name, _ in files], env=UTC)
        self.assertEqual(r.code, 0, r)
        for name, _ in files:
            expected = exif_reading(self.path(name))
            self.assertIsNotNone(expected, name)
            self.assertEqual(self.mtime(name), expected, name)

    def test_offsets_digitized_and_the_preview_words(self):
        self.write("local.jpg", jpeg())
        exiftool("-DateTimeOriginal=2019:04:12 15:30:12", self.path("local.jpg"))
        self.write("digitized.jpg", jpeg())
        exiftool("-ExifIFD:CreateDate=2019:04:12 15:30:12", "-OffsetTimeDigitized=+09:00",
                 "-OffsetTimeOriginal=+01:00", self.path("digitized.jpg"))
        self.write("zero.jpg", jpeg())
        exiftool("-DateTimeOriginal#=0000:00:00 00:00:00", self.path("zero.jpg"))
        self.write("IMG_20190412_153012.jpg", jpeg())
        self.write("a.mp4", movie())
        exiftool("-QuickTime:CreateDate=2019:04:12 15:30:12", self.path("a.mp4"))
        names = ["local.jpg", "digitized.jpg", "zero.jpg", "IMG_20190412_153012.jpg", "a.mp4"]
        for name in names:
            os.utime(self.path(name), ns=(OLD_NS, OLD_NS))

        # Local time on that date: Berlin keeps summer time in April.
        r = self.run_here(["-sm", "-v"] + names, env={"TZ": "Europe/Berlin"})
        self.assertEqual(r.code, 2, r)
        out = r.out_text
        for words in ["撮影日時: Exif DateTimeOriginal ローカル時刻",
                      "撮影日時: Exif DateTimeDigitized +09:00",
                      "撮影日時: ファイル名 ローカル時刻",
                      "撮影日時: QuickTime CreateDate UTC",
                      "Warn.: 撮影日時が見つかりません。(zero.jpg)"]:
            self.assertIn(words, out)
        self.assertIn("zero.jpg: JPEG の Exif に DateTimeOriginal も DateTimeDigitized もありません"
                      "。名前にも日付がありません", r.err_text)
        self.assertTrue(all(self.mtime(n) == OLD_NS for n in names), "a preview changes nothing")

        r = self.run_here(["-sm"] + names, env={"TZ": "Europe/Berlin"})
        self.assertEqual(r.code, 2, r)
        self.assertEqual(self.mtime("local.jpg"), ns(2019, 4, 12, 13, 30, 12))
        self.assertEqual(self.mtime("digitized.jpg"), ns(2019, 4, 12, 6, 30, 12))
        self.assertEqual(self.mtime("zero.jpg"), OLD_NS)
        self.assertEqual(self.mtime("IMG_20190412_153012.jpg"), ns(2019, 4, 12, 13, 30, 12))
        self.assertEqual(self.mtime("a.mp4"), ns(2019, 4, 12, 15, 30, 12))

        # -zo for a date without its offset; a shift for a camera an hour behind.
        r = self.run_here(["-sm", "-zo+09:00", "-t+1:00", "local.jpg", "digitized.jpg"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime("local.jpg"), ns(2019, 4, 12, 7, 30, 12))
        self.assertEqual(self.mtime("digitized.jpg"), ns(2019, 4, 12, 7, 30, 12))


@unittest.skipUnless(EXIFTOOL, "exiftool (libimage-exiftool-perl) is not installed")
class QuickTimeDates(MediaTestCase):
    def test_movies_as_exiftool_reads_them(self):
        cases = [("a.mp4", b"isom", 0), ("a.mov", b"qt  ", 0), ("a.m4v", b"M4V ", 1),
                 ("a.3gp", b"3gp4", 0)]
        for i, (name, brand, version) in enumerate(cases):
            self.write(name, movie(1, brand, version))
            exiftool("-QuickTime:CreateDate=2019:04:%02d 15:30:12" % (10 + i), self.path(name))
        r = self.run_here(["-sm"] + [c[0] for c in cases], env=UTC)
        self.assertEqual(r.code, 0, r)
        for name, _, _ in cases:
            self.assertEqual(self.mtime(name), exif_reading(self.path(name)), name)

    def test_moov_after_3_gb_of_media_data(self):
        p = self.path("big.mp4")
        size = 3 * 1024**3
        with open(p, "wb") as f:
            f.write(box(b"ftyp", b"isom\x00\x00\x02\x00isommp41"))
            f.write(struct.pack(">I", 1) + b"mdat" + struct.pack(">Q", size + 16))
            f.seek(size, os.SEEK_CUR)
            f.write(box(b"moov", mvhd(ns(2019, 4, 12, 15, 30, 12) // 10**9 + 2082844800, 1)))
        self.assertLess(os.stat(p).st_blocks * 512, 1024**2, "the file is sparse")
        started = time.monotonic()
        r = self.run_here(["-sm", "big.mp4"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime("big.mp4"), ns(2019, 4, 12, 15, 30, 12))
        self.assertEqual(exif_reading(p), ns(2019, 4, 12, 15, 30, 12))
        # Reading the 3 GB would take far longer than walking past them.
        self.assertLess(time.monotonic() - started, 30)


class NameDates(MediaTestCase):
    def test_every_form_of_name(self):
        cases = {
            "IMG_20190412_153012.jpg": ns(2019, 4, 12, 15, 30, 12),
            "VID_20190412_153012.mp4": ns(2019, 4, 12, 15, 30, 12),
            "PXL_20190412_153012345.jpg": ns(2019, 4, 12, 15, 30, 12, 345000000),
            "IMG-20190412-WA0003.jpg": ns(2019, 4, 12),
            "Screenshot_2019-04-12-15-30-12.png": ns(2019, 4, 12, 15, 30, 12),
            "2019-04-12 15.30.12.jpg": ns(2019, 4, 12, 15, 30, 12),
            "signal-2019-04-12-153012.jpg": ns(2019, 4, 12, 15, 30, 12),
            "scan 20190412.pdf": ns(2019, 4, 12),
            "20190412T153012_HDR.jpg": ns(2019, 4, 12, 15, 30, 12),
            "2019_04_12_15_30_12.jpg": ns(2019, 4, 12, 15, 30, 12),
        }
        for name in cases:
            self.write(name, b"")
        self.write("IMG_1234.jpg", b"")
        self.write("20190230_120000.jpg", b"")
        r = self.run_here(["-sm", "-zo+00:00", "*"])
        self.assertEqual(r.code, 2, r)
        for name, expected in cases.items():
            self.assertEqual(self.mtime(name), expected, name)
        for name in ["IMG_1234.jpg", "20190230_120000.jpg"]:
            self.assertEqual(self.mtime(name), OLD_NS, name)
            self.assertIn("Warn.: 撮影日時が見つかりません。(%s)" % name, r.out_text)
            self.assertIn(name + ": 中身は撮影日時を読める形式", r.err_text)


class BrokenFiles(MediaTestCase):
    def test_a_broken_file_never_gives_a_date_and_never_ends_the_run(self):
        good = movie(ns(2019, 4, 12, 15, 30, 12) // 10**9 + 2082844800)
        exif = bytearray(b"MM\x00*" + struct.pack(">I", 8) + struct.pack(">H", 1) +
                         struct.pack(">HHII", 0x8769, 4, 1, 8) + struct.pack(">I", 8))
        rng = random.Random(29)
        broken = {
            "cut.jpg": jpeg()[:30],
            "loop.tif": bytes(exif),  # the Exif pointer and the next IFD: IFD0 itself
            "size0.mp4": good[:24] + struct.pack(">I", 0) + good[28:],  # mdat to the end
            "size1.mp4": good[:24] + struct.pack(">I", 1) + good[28:],  # 64-bit size: garbage
            "beyond.mp4": good[:24] + struct.pack(">I", 0x7FFFFFF0) + good[28:],
            "header.mp4": good[:24] + struct.pack(">I", 3) + good[28:],
            "random.jpg": b"\xff\xd8\xff" + bytes(rng.getrandbits(8) for _ in range(4000)),
            "random.mov": bytes(rng.getrandbits(8) for _ in range(4000)),
            "empty.heic": b"",
        }
        for name, data in broken.items():
            self.write(name, data)
        self.write("good.mp4", good)
        self.write(os.path.join("folder.jpg", "x"), b"")
        r = self.run_here(["-sm", "-f2", "*"], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertEqual(self.mtime("good.mp4"), ns(2019, 4, 12, 15, 30, 12))
        for name in broken:
            self.assertEqual(self.mtime(name), OLD_NS, name)
            self.assertIn("Warn.: 撮影日時が見つかりません。(%s)" % name, r.out_text)
        self.assertIn("folder.jpg: 中身を読めません", r.err_text)


@unittest.skipUnless(EXIFTOOL, "exiftool (libimage-exiftool-perl) is not installed")
class SourceForms(MediaTestCase):
    def test_another_file_counterparts_restore_lines_and_undo(self):
        for name, day in [("a.jpg", 10), (os.path.join("sub", "b.jpg"), 11)]:
            self.write(os.path.join("orig", name), jpeg())
            exiftool("-DateTimeOriginal=2019:04:%02d 15:30:12" % day, "-OffsetTimeOriginal=+00:00",
                     self.path("orig", name))
            self.write(os.path.join("export", name), b"exported, without Exif")
        self.write(os.path.join("export", "c.jpg"), b"no original")

        # Exported copies dated from their originals; one without stays.
        r = self.run_here(["-sm:orig" + SEP, "-r", "export" + SEP + "*"])
        self.assertEqual(r.code, 2, r)
        self.assertEqual(self.mtime("export/a.jpg"), ns(2019, 4, 10, 15, 30, 12))
        self.assertEqual(self.mtime("export/sub/b.jpg"), ns(2019, 4, 11, 15, 30, 12))
        self.assertEqual(self.mtime("export/c.jpg"), OLD_NS)
        self.assertIn("Warn.: コピー元ファイルが見つかりません", r.out_text)

        # Another file's date, in each of the forms -sw takes.
        for form in ["-sm", "-sm:", "-sm="]:
            self.write("t.txt", b"")
            r = self.run_here([form + "orig" + SEP + "a.jpg", "t.txt"])
            self.assertEqual(r.code, 0, r)
            self.assertEqual(self.mtime("t.txt"), ns(2019, 4, 10, 15, 30, 12), form)

        # Restore lines hold the stamps as they are; -Undo takes the run back.
        self.write("u.jpg", jpeg())
        exiftool("-DateTimeOriginal=2019:04:12 15:30:12", "-OffsetTimeOriginal=+00:00",
                 self.path("u.jpg"))
        os.utime(self.path("u.jpg"), ns=(OLD_NS, OLD_NS))
        r = self.run_here(["-e", "-sm", "u.jpg"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertIn("-d:2001-09-09 -t:01:46:40", r.out_text)
        # A state folder of the test's own: the Windows build's default one is
        # the Wine prefix's, which tests running meanwhile journal into too.
        state = state_environment(self.path("state"))
        r = self.run_here(["-sm", "u.jpg"], env=state)
        self.assertEqual((r.code, self.mtime("u.jpg")), (0, ns(2019, 4, 12, 15, 30, 12)), r)
        r = self.run_here(["-Undo"], env=state)
        self.assertEqual((r.code, self.mtime("u.jpg")), (0, OLD_NS), r)


if __name__ == "__main__":
    main()
