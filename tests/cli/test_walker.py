"""File selection: folder modes, recursion, item paths, order."""

import os
import unittest

from kelvard_cli import SEP, WINDOWS, TempDirTestCase, main, text


def items(result):
    """The item paths of the result lines, in order."""
    found = []
    for line in result.out_text.split("\n"):
        if line.startswith("変更されます。(") and line.endswith(")"):
            found.append(line[len("変更されます。("):-1])
    return found


def j(*parts):
    return SEP.join(parts)


class Selection(TempDirTestCase):
    def setUp(self):
        super().setUp()
        # d: a.txt, b.dat, s1/ (c.txt, t/ (e.txt)), x.txt/ (f.txt)
        for parts in [("d", "a.txt"), ("d", "b.dat"), ("d", "s1", "c.txt"),
                      ("d", "s1", "t", "e.txt"), ("d", "x.txt", "f.txt")]:
            self.make_file(*parts)

    def preview(self, *args):
        r = self.run_here(["-v"] + list(args))
        return r, items(r)

    def test_folder_modes_without_recursion(self):
        pattern = j("d", "*.txt")
        self.assertEqual(self.preview(pattern)[1], [j("d", "a.txt")])
        self.assertEqual(sorted(self.preview("-f", pattern)[1]),
                         [j("d", "a.txt"), j("d", "x.txt")])
        r, found = self.preview("-f2", pattern)
        self.assertEqual(found[0], j("d", "a.txt"))
        self.assertEqual(sorted(found[1:]), [j("d", "s1"), j("d", "x.txt")])
        self.assertEqual(self.preview("-f3", pattern)[1], [j("d", "x.txt")])

    def test_a_folder_named_exactly(self):
        self.assertEqual(self.preview(j("d", "s1"))[1], [j("d", "s1")])
        # With -r the name is looked for below, not stamped itself.
        r, found = self.preview("-r", j("d", "s1"))
        self.assertEqual(r.code, 1, r)
        self.assertEqual(found, [])
        # ... and the cause line shows how to select what it holds.
        contents = j("d", "s1", "*")
        self.assertIn(text("%s: フォルダです。中の項目を選ぶには %s と指定します\n"
                           % (j("d", "s1"), contents if WINDOWS else "'%s'" % contents)), r.err)

    @unittest.skipIf(WINDOWS, "the native build's paths")
    def test_a_trailing_slash_names_a_folder(self):
        # As the shell completes a folder's name; a file is no folder, and
        # "." and ".." keep their reading.
        for operand, found in (("d/s1/", ["d/s1"]), ("d/s1//", ["d/s1"]), ("d/a.txt/", []),
                               ("d/s1/./", []), ("d/*/", [])):
            with self.subTest(operand=operand):
                r, selected = self.preview(operand)
                self.assertEqual((r.code, selected), (0 if found else 1, found), r)
        # With -f: every folder that the pattern matches, and no file.
        self.assertEqual(sorted(self.preview("-f", "d/*.txt/")[1]), ["d/x.txt"])

    def test_recursion_finishes_each_folder_before_the_next(self):
        r, found = self.preview("-r", "-f2", j("d", "*.txt"))
        self.assertEqual(r.code, 0, r)
        self.assertEqual(found[0], j("d", "a.txt"))
        self.assertEqual(sorted(found), sorted([
            j("d", "a.txt"), j("d", "s1"), j("d", "s1", "c.txt"), j("d", "s1", "t"),
            j("d", "s1", "t", "e.txt"), j("d", "x.txt"), j("d", "x.txt", "f.txt")]))
        # A folder comes before everything in it, and what is below it comes
        # before its next sister.
        for folder in [j("d", "s1"), j("d", "s1", "t"), j("d", "x.txt")]:
            inside = [i for i, p in enumerate(found) if p.startswith(folder + SEP)]
            at = found.index(folder)
            self.assertTrue(all(i > at for i in inside), found)
            self.assertEqual(inside, list(range(at + 1, at + 1 + len(inside))), found)

    def test_only_files_with_f3_is_not_found(self):
        r = self.run_here(["-v", "-f3", j("d", "*.dat")])
        self.assertEqual(r.code, 1, r)
        self.assertIn(text("ファイル (%s) が見つかりません。" % j("d", "*.dat")), r.err)

    def test_dot_names_select_nothing(self):
        r = self.run_here(["-v", j("d", "..")])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(items(r), [])

    @unittest.skipIf(WINDOWS, "symbolic links of the native build")
    def test_a_link_loop_is_not_followed_again(self):
        os.symlink(self.path("d"), self.path("d", "s1", "t", "up"))
        os.symlink(self.path("d", "s1"), self.path("d", "s1", "self"))
        r, found = self.preview("-r", j("d", "*.txt"))
        self.assertEqual(r.code, 0, r)
        self.assertEqual(sorted(found), sorted([
            j("d", "a.txt"), j("d", "s1", "c.txt"), j("d", "s1", "t", "e.txt"),
            j("d", "x.txt", "f.txt")]))

    def test_a_name_ending_in_a_point_is_an_item(self):
        self.make_file("d", "notes.")
        self.assertEqual(self.preview(j("d", "notes*"))[1], [j("d", "notes.")])

    @unittest.skipIf(WINDOWS, "Wine's own listing of a folder sets its access stamp")
    def test_listing_a_folder_keeps_its_access_stamp(self):
        old = 978307200 * 10**9  # 2001-01-01, older than a day: a listing would update it
        for folder in [("d",), ("d", "s1"), ("d", "s1", "t")]:
            os.utime(self.path(*folder), ns=(old, old))
        r = self.run_here(["-v", "-r", "-f2", "-a", j("d", "*")])
        self.assertEqual(r.code, 0, r)
        for folder in [("d",), ("d", "s1"), ("d", "s1", "t")]:
            self.assertEqual(os.stat(self.path(*folder)).st_atime_ns, old, folder)

    def test_a_folders_access_stamp_lasts_through_the_search_of_its_contents(self):
        # Under Wine every listing moves it: it is written again after the listing.
        old = 978307200 * 10**9
        for folder in [("d",), ("d", "s1"), ("d", "s1", "t")]:
            os.utime(self.path(*folder), ns=(old, old))
        r = self.run_here(["-r", "-f2", "-a", "-d2005-05-05", "-t12", j("d", "*")])
        self.assertEqual(r.code, 0, r)
        set_to = os.stat(self.path("d", "a.txt")).st_atime_ns
        self.assertNotEqual(set_to, old)
        for folder in [("d", "s1"), ("d", "s1", "t")]:
            self.assertEqual(os.stat(self.path(*folder)).st_atime_ns, set_to, folder)


if __name__ == "__main__":
    main()
