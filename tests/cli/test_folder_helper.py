"""The folder helper Folvane.exe of the Windows build, run under Wine."""

import calendar
import os
import shutil
import unittest

from kelvard_cli import (BANNER, EXE, WINDOWS, TempDirTestCase, main, run, text, wine,
                         wine_path)

FOLVANE = os.path.join(os.path.dirname(EXE), "Folvane.exe")
JST = {"TZ": "JST-9"}
# The helper's exit codes are system error codes.
ERROR_FILE_NOT_FOUND = 2
ERROR_BAD_ARGUMENTS = 160


def utc_ns(year, month, day, hour, minute, second, ms):
    return (calendar.timegm((year, month, day, hour, minute, second)) * 10**9
            + ms * 10**6)


@unittest.skipUnless(WINDOWS, "the helper belongs to the Windows build")
class Folvane(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.folder = self.path("My Folder")
        os.mkdir(self.folder)
        os.utime(self.folder, ns=(utc_ns(2001, 2, 3, 4, 5, 6, 0),) * 2)

    def helper(self, *args):
        # Wine writes an argument with a blank in double quotes on the command
        # line it hands over, as Kelvard writes the folder.
        return run(list(args), exe=FOLVANE, env=JST)

    def test_sets_the_last_write_stamp_from_local_dos_forms(self):
        # 2011-01-17 13:25:39.450 in JST.
        r = self.helper(wine_path(self.folder), "3", "3E31", "6B33", "91")
        self.assertEqual(r.code, 0, r)
        info = os.stat(self.folder)
        self.assertEqual(info.st_mtime_ns, utc_ns(2011, 1, 17, 4, 25, 39, 450))
        self.assertEqual(info.st_atime_ns, utc_ns(2001, 2, 3, 4, 5, 6, 0))

    def test_sets_the_last_access_stamp(self):
        # 2011-01-17 13:25:38.450 in JST (an even second: the count is 45).
        r = self.helper(wine_path(self.folder), "5", "3e31", "6b33", "2d")
        self.assertEqual(r.code, 0, r)
        info = os.stat(self.folder)
        self.assertEqual(info.st_atime_ns, utc_ns(2011, 1, 17, 4, 25, 38, 450))
        self.assertEqual(info.st_mtime_ns, utc_ns(2001, 2, 3, 4, 5, 6, 0))

    def test_creation_stamp_is_accepted(self):
        r = self.helper(wine_path(self.folder), "7", "3E31", "6B33", "91")
        self.assertEqual(r.code, 0, r)

    def test_malformed_command_lines_change_nothing(self):
        folder = wine_path(self.folder)
        for args in ([],
                     [wine_path(self.dir), "3", "3E31", "6B33", "91"],  # not quoted
                     [folder, "4", "3E31", "6B33", "91"],
                     [folder, "3", "3E31", "6B33"],
                     [folder, "3", "3E31", "6B33", "91", "1"],
                     [folder, "3", "3G31", "6B33", "91"],
                     [folder, "3", "3E31", "6B33", "C8"],
                     [folder, "3", "0", "0", "0"],  # no such date
                     [folder, "3", "3E31", "BF80", "0"]):  # 23:60
            with self.subTest(args=args):
                r = self.helper(*args)
                self.assertEqual(r.code, ERROR_BAD_ARGUMENTS, r)
                self.assertIn("Folvane: ", r.err_text)
        self.assertEqual(os.stat(self.folder).st_mtime_ns, utc_ns(2001, 2, 3, 4, 5, 6, 0))

    def test_missing_folder_is_a_failure(self):
        missing = wine_path(self.path("absent folder"))
        r = self.helper(missing, "3", "3E31", "6B33", "91")
        self.assertEqual(r.code, ERROR_FILE_NOT_FOUND, r)
        self.assertIn("Folvane: フォルダ (%s) のタイムスタンプを変更できませんでした。" % missing,
                      r.err_text)


@unittest.skipUnless(WINDOWS, "the helper belongs to the Windows build")
class NineXRoute(TempDirTestCase):
    """Kelvard on the 9x family (Wine told to report Windows 98 to this copy)."""

    def program(self, name, with_helper=True):
        folder = self.path("bin " + name)
        os.mkdir(folder)
        exe = os.path.join(folder, name + ".exe")
        shutil.copy2(EXE, exe)
        if with_helper:
            shutil.copy2(FOLVANE, os.path.join(folder, "Folvane.exe"))
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + name + ".exe"
        r = wine(["reg", "add", key, "/v", "Version", "/d", "win98", "/f"])
        self.assertEqual(r.code, 0, r)
        self.addCleanup(wine, ["reg", "delete", key, "/f"])
        return exe

    def test_folder_stamped_through_the_helper(self):
        exe = self.program("KvNineX")
        ref = self.make_file("ref.txt", mtime_ns=utc_ns(2011, 1, 17, 4, 25, 39, 450))
        # The helper gets the folder's path exactly, also beyond the code page.
        for name in ("My Folder", "café 한국"):
            folder = self.path(name)
            os.mkdir(folder)
            os.utime(folder, ns=(utc_ns(2001, 2, 3, 4, 5, 6, 0),) * 2)
            r = run(["-f3", "-sw" + wine_path(ref), wine_path(folder)], exe=exe, env=JST,
                    cwd=self.dir)
            self.assertEqual(r.code, 0, r)
            self.assertEqual(r.err, text(BANNER), r)
            shown = wine_path(folder).encode("cp932", "replace").decode("cp932")
            self.assertIn("変更しました。(" + shown + ")", r.out_text)
            self.assertEqual(os.stat(folder).st_mtime_ns, utc_ns(2011, 1, 17, 4, 25, 39, 450))

    def test_unknown_stamp_is_the_fixed_value(self):
        exe = self.program("KvNineU")
        target = self.make_file("a.txt", mtime_ns=utc_ns(2001, 2, 3, 4, 5, 6, 0))
        r = run(["-d:unknown", "a.txt"], exe=exe, env=JST, cwd=self.dir)
        self.assertEqual(r.code, 0, r)
        # 2106-12-31 15:00:00 UTC whatever the zone.
        self.assertEqual(os.stat(target).st_mtime_ns, utc_ns(2106, 12, 31, 15, 0, 0, 0))

    def test_folders_past_the_plain_path_limit(self):
        exe = self.program("KvNineL")
        folders = [letter * 51 for letter in "abcdef"]
        paths = [self.path("deep", *folders[:depth]) for depth in range(1, 7)]
        os.makedirs(paths[-1])
        self.assertGreater(len(wine_path(paths[-1])), 300)
        for path in paths:
            os.utime(path, ns=(utc_ns(2001, 2, 3, 4, 5, 6, 0),) * 2)
        r = run(["-r", "-f3", "-d2011-01-01", "deep\\*"], exe=exe, env=JST, cwd=self.dir)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更しました。("), 6, r)
        for path in paths:
            self.assertEqual(os.stat(path).st_mtime_ns, utc_ns(2010, 12, 31, 15, 0, 0, 0), path)

    def test_a_stamp_the_helper_could_not_set_is_told(self):
        # Linux refuses to change the stamps of a process's folder, also for root.
        exe = self.program("KvNineP")
        before = os.stat("/proc/1").st_mtime_ns
        r = run(["-f3", "-d2011-01-01", wine_path("/proc/1")], exe=exe, env=JST, cwd=self.dir)
        self.assertEqual(r.code, 2, r)
        self.assertIn("Warn.: 変更できませんでした。(%s)\n" % wine_path("/proc/1"), r.out_text)
        self.assertIn("\n%s: " % wine_path("/proc/1"), r.err_text)  # the helper's reason
        self.assertEqual(os.stat("/proc/1").st_mtime_ns, before)

    def test_missing_helper_leaves_the_folder_unchanged(self):
        exe = self.program("KvNineM", with_helper=False)
        folder = self.path("plain")
        os.mkdir(folder)
        os.utime(folder, ns=(utc_ns(2001, 2, 3, 4, 5, 6, 0),) * 2)
        r = run(["-f3", wine_path(folder)], exe=exe, env=JST, cwd=self.dir)
        self.assertEqual(r.code, 2, r)
        self.assertIn(text("Warn.: 変更できませんでした"), r.out)
        self.assertEqual(os.stat(folder).st_mtime_ns, utc_ns(2001, 2, 3, 4, 5, 6, 0))


if __name__ == "__main__":
    main()
