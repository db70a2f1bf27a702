"""Restore lines (-e) and reading them back as a response file."""

import os
import subprocess
import tempfile
import unittest

from kelvard_cli import (BANNER, ENCODING, EOL, SEP, WINDOWS, TempDirTestCase, command, main,
                         text, wine_path)

UTC = {"TZ": "UTC"}
# Stamps with all seven sub-second digits: 2005-06-07 08:09:10.1234567 UTC and
# 2006-07-08 09:10:11.7654321 UTC, in ns since 1970.
W_NS = 1118131750 * 10**9 + 123456700
A_NS = 1152349811 * 10**9 + 765432100
OTHER_NS = 1500000000 * 10**9


class Lines(TempDirTestCase):
    def test_lines_byte_for_byte(self):
        self.make_file("a.txt")
        os.utime(self.path("a.txt"), ns=(A_NS, W_NS))
        r = self.run_here(["-e", "-a", "-w", "a.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        full = wine_path(self.path("a.txt"))
        self.assertEqual(r.out, text(
            "-ixgw -zo+00:00 -d:2005-06-07 -t:08:09:10.123456 %s\n"
            "-ixga -zo+00:00 -d:2006-07-08 -t:09:10:11.765432 %s\n" % (full, full)))
        self.assertEqual(r.err, text(BANNER + "\nタイムスタンプ復元設定を作成します。\n"
                                     "作成しました。(a.txt)\n"))

    def test_quoting_and_the_split_switch(self):
        names = ["my file.txt", "b;c.txt", "my b;c.txt", "x,y.txt"]
        for name in names:
            self.make_file(name)
            os.utime(self.path(name), ns=(A_NS, W_NS))
        r = self.run_here(["-zs0", "-zd0", "-e"] + names, env=UTC)
        self.assertEqual(r.code, 0, r)
        p = lambda n: wine_path(self.path(n))
        t = "-zo+00:00 -d:2005-06-07 -t:08:09:10 "
        self.assertEqual(r.out, text(
            '-ixgw %s"%s"\n' % (t, p(names[0])) +
            "-ixgw -zd0 %s%s\n" % (t, p(names[1])) +
            '-ixgw -zd0 %s"%s"\n' % (t, p(names[2])) +
            '-ixgw %s"%s"\n' % (t, p(names[3]))))
        # The opening message once per operand.
        self.assertEqual(r.err_text.count("タイムスタンプ復元設定を作成します。"), 4)

    def test_preview_names_the_items_only(self):
        self.make_file("a.txt")
        r = self.run_here(["-e", "-v", "a.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out, text("作成されます。(a.txt)\n"))
        self.assertEqual(r.err, text(BANNER + "\nタイムスタンプ復元設定を作成します。\n"))

    def test_error_stream_and_output_keep_their_order(self):
        self.make_file("a.txt")
        self.make_file("b.txt")
        with tempfile.TemporaryFile() as both:
            subprocess.run(command(["-e", "-g", "a.txt", "none", "b.txt"]), cwd=self.dir,
                           stdout=both, stderr=both, stdin=subprocess.DEVNULL, timeout=120)
            both.seek(0)
            lines = [l for l in both.read().decode(ENCODING, "replace").replace("\r\n", "\n")
                     .split("\n") if l and not l.startswith("wine")]
        kinds = [("E" if l.startswith("-ixg") else l[:4]) for l in lines[2:]]
        self.assertEqual(kinds, ["タイムス", "E", "作成しま", "Warn", "タイムス", "E", "作成しま"],
                         lines)


class WhatARestoreFileHolds(TempDirTestCase):
    def restore_file(self, *names):
        """Restore lines of the items, in that order, in r.txt; then every
        item gets another stamp."""
        for name in names:
            self.make_file(name)
            os.utime(self.path(name), ns=(A_NS, W_NS))
        r = self.run_here(["-e"] + list(names))
        self.assertEqual(r.code, 0, r)
        with open(self.path("r.txt"), "wb") as f:
            f.write(r.out)
        for name in names:
            os.utime(self.path(name), ns=(OTHER_NS, OTHER_NS))
        return r.out

    def mtime(self, name):
        return os.stat(self.path(name)).st_mtime_ns

    def test_the_output_holds_restore_lines_only(self):
        # The warning for an operand that selects nothing goes to the error
        # stream: its words would be read back as switches and names.
        self.make_file("a.txt")
        r = self.run_here(["-e", "-g", "a.txt", "x -d2030-01-01 -r * y"])
        self.assertEqual(r.code, 0, r)
        self.assertTrue(r.out.startswith(text("-ixgw -zo+")), r)
        self.assertEqual(r.out.count(EOL.encode()), 1, r)
        self.assertIn(text("\nWarn.: ファイル (x -d2030-01-01 -r * y) が見つかりません。\n"), r.err)

    def test_a_preview_on_the_command_line_changes_nothing(self):
        self.restore_file("a.txt", "b.txt")
        for args in (["-v", "@r.txt"], ["@r.txt", "-v"]):
            with self.subTest(args=args):
                r = self.run_here(args)
                self.assertEqual(r.code, 0, r)
                self.assertEqual(r.out_text.count("変更されます。("), 2, r)
                self.assertEqual((self.mtime("a.txt"), self.mtime("b.txt")),
                                 (OTHER_NS, OTHER_NS))
        self.assertEqual(self.run_here(["@r.txt"]).code, 0)
        self.assertEqual(self.mtime("a.txt"), W_NS // 1000 * 1000)

    def test_a_file_cut_inside_its_last_line(self):
        # The line of f_1628 cut to f_1 would name another file.
        lines = self.restore_file("f_1", "f_1628")
        self.assertTrue(lines.endswith(text("f_1628\n")), lines)
        with open(self.path("r.txt"), "wb") as f:
            f.write(lines[:-len(text("628\n"))])
        r = self.run_here(["@r.txt"])
        self.assertEqual(r.code, 2, r)
        self.assertIn(text("Warn.: 改行で終わっていない最後の行は読み込みませんでした。"
                           "(r.txt の 2 行目)\n"), r.out)
        self.assertIn(text("r.txt の 2 行目: -ixgw "), r.err)
        self.assertEqual(self.mtime("f_1"), W_NS // 1000 * 1000)
        self.assertEqual(self.mtime("f_1628"), OTHER_NS)


@unittest.skipIf(WINDOWS, "folder permissions and names of the native build")
class NamesThatLookLikeSwitches(TempDirTestCase):
    def test_a_folder_that_cannot_be_searched(self):
        # Its warning goes to the error stream: read back from the restore
        # file, its words would stamp every file below the working folder.
        name = "x -d2030-01-01 -r * y"
        self.make_file("tree", "a.txt")
        os.mkdir(self.path("tree", name))
        os.chmod(self.path("tree", name), 0)
        self.addCleanup(os.chmod, self.path("tree", name), 0o755)
        r = self.run_unprivileged(["-e", "-r", "tree/*"])
        self.assertEqual(r.code, 2, r)
        self.assertIn(text("Warn.: フォルダを検索できませんでした。(tree/%s)\n" % name), r.err)
        self.assertEqual(len(r.out.splitlines()), 1, r)
        self.assertTrue(r.out.startswith(b"-ixgw "), r)
        with open(self.path("r.txt"), "wb") as f:
            f.write(r.out)
        other = self.make_file("work", "b.txt", mtime_ns=OTHER_NS)
        r = self.run_here(["@" + self.path("r.txt")], cwd=self.path("work"))
        self.assertEqual(r.code, 0, r)
        self.assertEqual(os.stat(other).st_mtime_ns, OTHER_NS)


class WholeLinesPastAFileSizeLimit(TempDirTestCase):
    def test_a_failed_write_leaves_whole_lines(self):
        # The limit falls inside a line: the file keeps whole lines only, in
        # both builds, and the run says that it is incomplete.
        import resource
        for i in range(40):
            self.make_file("file_%04d.txt" % i)
        limit = 1024
        with open(self.path("lines"), "wb") as out:
            proc = subprocess.run(
                command(["-e", "file_*.txt"]), cwd=self.dir, stdout=out, stderr=subprocess.PIPE,
                stdin=subprocess.DEVNULL, timeout=120,
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit)))
        self.assertEqual(proc.returncode, 1, proc)
        self.assertIn(text("\nError: 復元設定を書き込めませんでした。書き込まれた復元設定は不完全です。\n"),
                      proc.stderr)
        with open(self.path("lines"), "rb") as f:
            kept = f.read()
        self.assertTrue(0 <= len(kept) < limit and kept.endswith(EOL.encode()) or not kept, kept)
        self.assertTrue(kept.startswith(text("-ixgw ")) or not kept, kept)


class LinesThatWouldNotComeBack(TempDirTestCase):
    def assert_left_out(self, name, reason, stamps_ns):
        self.make_file("ok.txt")
        self.make_file(name)
        os.utime(self.path(name), ns=stamps_ns)
        r = self.run_here(["-e", "-a", "-w", "*.txt"], env=UTC)
        self.assertEqual(r.code, 2, r)
        # Only the other item's lines; the warning and its reason on the error stream.
        full = wine_path(self.path("ok.txt"))
        self.assertEqual(r.out.count(EOL.encode()), 2, r)
        self.assertEqual(r.out.count(text(full + "\n")), 2, r)
        self.assertIn(text("Warn.: 復元設定を作成できませんでした。(%s)\n%s: %s\n"
                           % (name, name, reason)), r.err)
        # The preview tells the same.
        r = self.run_here(["-e", "-v", "-a", "-w", "*.txt"], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertEqual(r.out, text("作成されます。(ok.txt)\n"))

    def test_a_stamp_before_1980(self):
        old = 315532799 * 10**9  # 1979-12-31 23:59:59 UTC
        self.assert_left_out("old.txt", "更新日時が復元できる範囲 (1980 年から 2106 年まで) の外にあります",
                             (W_NS, old))

    @unittest.skipIf(WINDOWS, "Windows keeps no line break in a name")
    def test_a_name_with_a_line_break(self):
        for name in ("x\ny.txt", "x\ry.txt"):
            with self.subTest(name=repr(name)):
                self.assert_left_out(name, "名前に改行文字が含まれています", (A_NS, W_NS))
                os.remove(self.path(name))


class RoundTrip(TempDirTestCase):
    NAMES = ["plain.txt", "with blank.txt", "a,b.txt", "c;d.txt", "e f;g,h.txt", "del\x7f.txt",
             "日本語 名.txt", "-lead.txt", "@at.txt", " lead blank.txt"]
    # Windows keeps no quote or control character in a name.
    NATIVE_NAMES = ['q"uote.txt', 'say ""x"".txt', "tab\there.txt", '"q;"s.txt']

    def make_tree(self, names):
        paths = []
        for i, name in enumerate(names):
            for folder in ((), ("sub dir",)):
                p = self.make_file(*(folder + (name,)))
                os.utime(p, ns=(A_NS + i * 100, W_NS + i * 100))
                paths.append(p)
        return paths

    def round_trip(self, names, switches=(), resave=None):
        """Writes the tree's restore lines with `switches`, saves them again
        with `resave` (a function of the text) where given, and reads them back."""
        if os.path.exists(self.path("r.txt")):
            os.remove(self.path("r.txt"))
        paths = self.make_tree(names)
        before = {p: (os.stat(p).st_atime_ns, os.stat(p).st_mtime_ns) for p in paths}
        r = self.run_here(list(switches) + ["-zs7", "-e", "-a", "-w", "-r", "*"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out.count(EOL.encode()), 2 * len(paths), r)
        with open(self.path("r.txt"), "wb") as f:
            f.write(resave(r.out.decode("utf-8-sig")) if resave else r.out)
        for p in paths:
            os.utime(p, ns=(OTHER_NS, OTHER_NS))
        r = self.run_here(["@r.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertNotIn("Warn", r.out_text)
        after = {p: (os.stat(p).st_atime_ns, os.stat(p).st_mtime_ns) for p in paths}
        self.assertEqual(after, before)

    def test_every_stamp_comes_back_to_the_tick(self):
        self.round_trip(self.NAMES + ([] if WINDOWS else self.NATIVE_NAMES))

    def test_in_another_time_zone_or_season(self):
        # Lines carry the offset their local time was written at, so that a
        # file written in one zone (or season) restores the same stamps in
        # another. The last zone keeps daylight-saving time all year round.
        self.make_tree(["z.txt"])
        p = self.path("z.txt")
        before = os.stat(p).st_mtime_ns, os.stat(p).st_atime_ns
        cases = [("JST-9", "UTC0", "+09:00"), ("JST-9", "XST-1XDT,0/0,J365/25", "+09:00"),
                 ("Europe/Berlin", "Europe/Berlin", None), ("UTC0", "America/New_York", "+00:00")]
        for written, read, offset in cases:
            with self.subTest(written=written, read=read):
                r = self.run_here(["-zs7", "-e", "-w", "-a", "z.txt"], env={"TZ": written})
                self.assertEqual(r.code, 0, r)
                if offset:
                    self.assertIn(text(" -zo%s -d:" % offset), r.out)
                with open(self.path("r.txt"), "wb") as f:
                    f.write(r.out)
                os.utime(p, ns=(OTHER_NS, OTHER_NS))
                r = self.run_here(["@r.txt"], env={"TZ": read})
                self.assertEqual(r.code, 0, r)
                self.assertEqual((os.stat(p).st_mtime_ns, os.stat(p).st_atime_ns), before)

    def test_an_offset_typed_by_the_user(self):
        self.make_file("u.txt")
        r = self.run_here(["-zo+00:00", "-d2011-01-01", "-t12:00", "u.txt"], env={"TZ": "JST-9"})
        self.assertEqual(r.code, 0, r)
        self.assertEqual(os.stat(self.path("u.txt")).st_mtime_ns, 1293883200 * 10**9)
        # -zo alone: local time again.
        r = self.run_here(["-zo-05:00", "-zo", "-d2011-01-01", "-t12:00", "u.txt"],
                          env={"TZ": "JST-9"})
        self.assertEqual(r.code, 0, r)
        self.assertEqual(os.stat(self.path("u.txt")).st_mtime_ns, (1293883200 - 9 * 3600) * 10**9)

    @unittest.skipUnless(WINDOWS, "a CP932 name whose second byte is the code of \\")
    def test_a_name_with_a_backslash_trail_byte(self):
        self.round_trip(["表.txt", "ソ 能.txt"])

    def test_restore_files_saved_again_with_a_byte_order_mark(self):
        # Lines in UTF-8 (-zu in the Windows build), saved again as an editor
        # saves them and as PowerShell 5 writes "> r.txt" (UTF-16LE, CR LF).
        names = ["café.txt", "cafe.txt", "한국.txt", "😀.txt", "a−b.txt", "with blank.txt"]
        crlf = lambda t: t.replace("\r\n", "\n").replace("\n", "\r\n")
        forms = {
            "UTF-8": lambda t: t.encode("utf-8-sig"),
            "UTF-16LE": lambda t: b"\xff\xfe" + crlf(t).encode("utf-16-le"),
            "UTF-16BE": lambda t: b"\xfe\xff" + crlf(t).encode("utf-16-be"),
        }
        for form, resave in forms.items():
            with self.subTest(form):
                self.round_trip(names, ["-zu"], resave)


if __name__ == "__main__":
    main()
