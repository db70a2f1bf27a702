"""Report lines: the heading per operand, result lines, preview value lines."""

import os
import pty
import subprocess
import unittest

from kelvard_cli import BANNER, EXE, SEP, WINDOWS, TempDirTestCase, isolated_environment, main, text

UTC = {"TZ": "UTC"}
# 2010-05-06 07:08:09.1234567 UTC in ns since 1970.
OLD_NS = 1273129689 * 10**9 + 123456700


class Preview(TempDirTestCase):
    def test_heading_result_and_value_lines_for_every_digit_count(self):
        self.make_file("a.txt", mtime_ns=OLD_NS)
        for digits in range(8):
            r = self.run_here(["-zs%d" % digits, "-v", "-d2011-01-02", "-t03:04:05.9876543",
                               "a.txt"], env=UTC)
            cut = "." + "1234567"[:digits] if digits else ""
            new_cut = "." + "9876543"[:digits] if digits else ""
            self.assertEqual(r.code, 0, r)
            self.assertEqual(r.out, text(
                "\n更新日時を 2011-01-02 03:04:05 に変更します。\n"
                "変更されます。(a.txt)\n"
                "  更新日時: 2010-05-06 07:08:09%s → 2011-01-02 03:04:05%s\n"
                % (cut, new_cut)), digits)
            self.assertEqual(r.err, text(BANNER))
        # Nothing was changed.
        self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, OLD_NS)

    def test_unknown_new_value_and_the_arrow_column(self):
        self.make_file("a.txt", mtime_ns=OLD_NS)
        r = self.run_here(["-v", "-w", "-a", "-d:unknown", "a.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out, text(
            "\n更新日時を 不明に変更します。\nアクセス日時を 不明に変更します。\n"
            "変更されます。(a.txt)\n"
            "  更新日時: 2010-05-06 07:08:09.123456 →           不明\n"
            "  アクセス: 2010-05-06 07:08:09.123456 →           不明\n"))

    def test_copy_sentence_with_a_shift_and_one_heading_per_operand(self):
        self.make_file("a.txt", mtime_ns=OLD_NS)
        self.make_file("b.txt", mtime_ns=OLD_NS)
        r = self.run_here(["-v", "-sa", "-t-36", "a.txt", "b.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        heading = "\n更新日時を アクセス日時からコピーし、日時を -36:00:00 ずらします。\n"
        line = "  更新日時: 2010-05-06 07:08:09.123456 → 2010-05-04 19:08:09.123456\n"
        self.assertEqual(r.out, text(heading + "変更されます。(a.txt)\n" + line +
                                     heading + "変更されます。(b.txt)\n" + line))

    def test_real_run_prints_the_same_heading_and_no_value_lines(self):
        self.make_file("sub", "a.txt", mtime_ns=OLD_NS)
        r = self.run_here(["-r", "-d2011-01-02", "-t03:04:05", "*.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out, text("\n更新日時を 2011-01-02 03:04:05 に変更します。\n"
                                     "変更しました。(sub%sa.txt)\n" % SEP))
        self.assertEqual(os.stat(self.path("sub", "a.txt")).st_mtime_ns,
                         1293937445 * 10**9)

    def test_missing_counterpart_warns_and_shows_no_values(self):
        self.make_file("a.txt", mtime_ns=OLD_NS)
        os.mkdir(self.path("back"))
        r = self.run_here(["-v", "-d2011-01-02", "-swback" + SEP, "*.txt"], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertEqual(r.out, text(
            "\n更新日時を 'back%s' の更新日時からコピーします。\n"
            "Warn.: コピー元ファイルが見つかりません。(a.txt)\n" % SEP))


@unittest.skipIf(WINDOWS, "names on the native build's terminal")
class NamesOnATerminal(TempDirTestCase):
    NAME = "a\x1b[2Jb\x9bc.txt"

    def test_control_characters_show_as_question_marks(self):
        self.make_file(self.NAME)
        # On a terminal: standard output and error stream both.
        master, slave = pty.openpty()
        try:
            proc = subprocess.run([EXE, "-v", "-c", self.NAME.encode("utf-8", "surrogateescape")],
                                  cwd=self.dir, stdout=slave, stderr=slave,
                                  stdin=subprocess.DEVNULL, env=isolated_environment(),
                                  timeout=60)
            os.close(slave)
            shown = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            os.close(master)
        self.assertEqual(proc.returncode, 2)
        self.assertNotIn(b"\x1b", shown)
        self.assertIn("Warn.: 変更できませんでした。(a?[2Jb?c.txt)".encode(), shown)
        self.assertIn("\na?[2Jb?c.txt: ".encode(), shown)  # the reason line
        # Redirected, every byte of the name stays.
        r = self.run_here(["-v", self.NAME])
        self.assertIn(("変更されます。(%s)" % self.NAME).encode("utf-8", "surrogateescape"), r.out)


if __name__ == "__main__":
    main()
