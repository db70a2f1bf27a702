"""Windows build: names beyond the ANSI code page, "/" between folders, long paths."""

import os
import unittest

from kelvard_cli import WINDOWS, TempDirTestCase, main, text, wine_path

OLD_NS = 978307200 * 10**9  # 2001-01-01 UTC
SRC_NS = 1041379200 * 10**9  # 2003-01-01 UTC
UTC = {"TZ": "UTC"}


def mtime(path):
    return os.stat(path).st_mtime_ns


@unittest.skipUnless(WINDOWS, "the code page and the path rules of the Windows build")
class CodePageNames(TempDirTestCase):
    """café.txt and 한국.txt have no exact form in code page 932: the first one's
    best-fit look-alike is the name of another file, the second one's is "??"."""

    def setUp(self):
        super().setUp()
        for name in ["café.txt", "cafe.txt", "한국.txt"]:
            self.make_file(name, mtime_ns=OLD_NS)

    def test_a_listed_name_is_never_taken_for_a_look_alike(self):
        r = self.run_here(["-d2011-01-01", "*.txt"], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertEqual(r.out_text.count("変更しました。(cafe.txt)"), 1, r)
        for shown in ["caf?.txt", "??.txt"]:
            self.assertIn("Warn.: 変更できませんでした。(%s)\n" % shown, r.out_text)
            self.assertIn("\n%s: " % shown, r.err_text)  # the reason
        self.assertNotEqual(mtime(self.path("cafe.txt")), OLD_NS)
        self.assertEqual(mtime(self.path("café.txt")), OLD_NS)
        self.assertEqual(mtime(self.path("한국.txt")), OLD_NS)
        # No restore line either: it would name the look-alike.
        r = self.run_here(["-e", "*.txt"], env=UTC)
        self.assertEqual(r.out, text("-ixgw -zo+00:00 -d:2011-01-01 -t:00:00:00.000000 %s\n"
                                     % wine_path(self.path("cafe.txt"))), r)
        self.assertIn("Warn.: 復元設定を作成できませんでした。(caf?.txt)", r.err_text)

    def test_a_folder_that_cannot_be_named_is_not_searched(self):
        self.make_file("x.txt", mtime_ns=OLD_NS)
        self.make_file("한국", "x.txt", mtime_ns=OLD_NS)
        r = self.run_here(["-r", "-d2011-01-01", "x.txt"])
        self.assertEqual(r.code, 2, r)
        self.assertIn("Warn.: フォルダを検索できませんでした。(??)", r.out_text, r)
        self.assertEqual(mtime(self.path("한국", "x.txt")), OLD_NS)
        self.assertNotEqual(mtime(self.path("x.txt")), OLD_NS)

    def test_an_argument_that_cannot_be_named_is_refused_before_anything_changes(self):
        for args, error in [(["cafe.txt", "café.txt"], "ファイル (caf?.txt) が見つかりません"),
                            (["-scafé.txt", "cafe.txt"], "オプションに誤りがあります")]:
            r = self.run_here(args)
            self.assertEqual(r.code, 1, r)
            self.assertIn("\nError: %s。\n" % error, r.err_text)
            self.assertEqual(mtime(self.path("cafe.txt")), OLD_NS, args)


@unittest.skipUnless(WINDOWS, "the code page and the path rules of the Windows build")
class SlashBetweenFolders(TempDirTestCase):
    def test_slash_paths_name_the_item_in_the_folder(self):
        for parts in [("b.txt",), ("sub", "b.txt"), ("t.txt",), ("src", "t.txt")]:
            self.make_file(*parts, mtime_ns=OLD_NS)
        os.utime(self.path("sub", "b.txt"), ns=(SRC_NS, SRC_NS))
        os.utime(self.path("src", "t.txt"), ns=(SRC_NS + 10**9, SRC_NS + 10**9))
        # (arguments, the file changed, its new modification and access stamps)
        cases = [
            # Both kinds from sub\b.txt, never the second one from .\b.txt.
            (["-swsub/b.txt", "-w", "-a", "t.txt"], ("t.txt",), SRC_NS),
            # "src/" is a folder: the counterpart src\t.txt is the source.
            (["-sssrc/", "-w", "-a", "t.txt"], ("t.txt",), SRC_NS + 10**9),
            (["-d2011-01-01", "-w", "-a", "sub/b.txt"], ("sub", "b.txt"), 1293840000 * 10**9),
        ]
        for args, changed, value in cases:
            r = self.run_here(args, env=UTC)
            self.assertEqual(r.code, 0, r)
            st = os.stat(self.path(*changed))
            self.assertEqual((st.st_mtime_ns, st.st_atime_ns), (value, value), args)
        self.assertIn("変更しました。(sub/b.txt)", self.run_here(["sub/b.txt"]).out_text)
        self.assertEqual(mtime(self.path("b.txt")), OLD_NS)


@unittest.skipUnless(WINDOWS, "the path length limit of the Windows build")
class LongPaths(TempDirTestCase):
    def test_a_deep_tree_is_walked_stamped_and_restored_whole(self):
        folders = []
        for letter in "abcdef":
            folders.append(letter * 51)
            self.make_file(*folders, "x.txt", mtime_ns=OLD_NS)
        files = [self.path(*folders[:depth], "x.txt") for depth in range(1, 7)]
        self.assertGreater(len(wine_path(files[-1])), 300)

        r = self.run_here(["-e", "-r", "x.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual([line.split(" ", 4)[4] for line in r.out_text.splitlines()],
                         [wine_path(f) for f in files])
        with open(self.path("r.txt"), "wb") as f:
            f.write(r.out)

        r = self.run_here(["-r", "-d2011-01-01", "x.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更しました。"), 6, r)
        self.assertTrue(all(mtime(f) != OLD_NS for f in files))

        r = self.run_here(["@r.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual([mtime(f) for f in files], [OLD_NS] * 6)


if __name__ == "__main__":
    main()
