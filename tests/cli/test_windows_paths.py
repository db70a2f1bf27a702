"""Windows build: names beyond the ANSI code page, "/" between folders, long paths."""

import os
import unittest

from kelvard_cli import WINDOWS, TempDirTestCase, main, text, wine_path

OLD_NS = 978307200 * 10**9  # 2001-01-01 UTC
SRC_NS = 1041379200 * 10**9  # 2003-01-01 UTC
UTC = {"TZ": "UTC"}


def mtime(path):
    return os.stat(path).st_mtime_ns


# Names from five scripts that code page 932 cannot hold, each beside the
# look-alike that a best-fit conversion would make of it (U+2212 is the minus sign).
NAMES = ["café.txt", "müller.txt", "한국.txt", "😀.txt", "a−b.txt"]
LOOK_ALIKES = ["cafe.txt", "muller.txt", "a-b.txt"]
NEW_NS = 1293840000 * 10**9  # 2011-01-01 UTC


@unittest.skipUnless(WINDOWS, "the code page and the path rules of the Windows build")
class CodePageNames(TempDirTestCase):
    """Names that code page 932 cannot hold are found, stamped, reported and
    restored as themselves; their look-alikes are never touched."""

    def setUp(self):
        super().setUp()
        self.files = [("u", name) for name in NAMES] + [("u", "한국", name) for name in NAMES]
        for parts in self.files + [("u", name) for name in LOOK_ALIKES]:
            self.make_file(*parts, mtime_ns=OLD_NS)

    def changed(self):
        return sorted(os.sep.join(parts) for parts in self.files + [("u", n) for n in LOOK_ALIKES]
                      if mtime(self.path(*parts)) != OLD_NS)

    def reset(self):
        for parts in self.files + [("u", n) for n in LOOK_ALIKES]:
            os.utime(self.path(*parts), ns=(OLD_NS, OLD_NS))

    def test_every_name_is_stamped_exactly_once_and_no_look_alike(self):
        top = [os.path.join("u", n) for n in NAMES]
        below = [os.path.join("u", "한국", n) for n in NAMES]
        cases = [  # (operands, what changes)
            (["u\\café.txt"], ["u/café.txt"]),
            (["u\\a−b.txt", "u\\😀.txt"], ["u/a−b.txt", "u/😀.txt"]),
            # "?" is one UTF-16 unit, as the system matches it: 😀 takes two.
            (["u\\*−*", "u\\??.txt", "u\\caf?.txt", "u\\m?ller.txt"],
             ["u/a−b.txt", "u/😀.txt", "u/한국.txt", "u/café.txt", "u/müller.txt", "u/muller.txt",
              "u/cafe.txt"]),
            (["-r", "u\\*é*", "u\\*ü*", "u\\한*.txt", "u\\😀*", "u\\*−*"], top + below),
        ]
        for operands, expected in cases:
            self.reset()
            r = self.run_here(["-d2011-01-01"] + operands, env=UTC)
            self.assertEqual(r.code, 0, r)
            expected = sorted(e.replace("/", os.sep) for e in expected)
            self.assertEqual(self.changed(), expected, operands)
            self.assertEqual(r.out_text.count("変更しました。"), len(expected), r)

    def test_restore_lines_in_utf8_and_the_warning_without_it(self):
        r = self.run_here(["-e", "-r", "u\\*"], env=UTC)
        self.assertEqual(r.code, 2, r)
        # Only the look-alikes get lines in the code page; the others a warning each.
        self.assertEqual(len(r.out_text.splitlines()), len(LOOK_ALIKES), r)
        self.assertEqual(r.err_text.count("-zu を指定すると UTF-8 で書き出します"), len(self.files))

        r = self.run_here(["-zu", "-e", "-r", "u\\*"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertTrue(r.out.startswith(b"\xef\xbb\xbf"), r)
        lines = r.out[3:].decode("utf-8").splitlines()
        self.assertEqual(sorted(line.split(" ", 4)[4] for line in lines),
                         sorted(wine_path(self.path(*parts))
                                for parts in self.files + [("u", n) for n in LOOK_ALIKES]))
        with open(self.path("r.txt"), "wb") as f:
            f.write(r.out)
        r = self.run_here(["-r", "-d2011-01-01", "u\\*"], env=UTC)
        self.assertEqual(len(self.changed()), len(self.files) + len(LOOK_ALIKES), r)
        r = self.run_here(["@r.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.changed(), [])

    def test_a_warning_names_the_characters_a_file_shows_as_question_marks(self):
        for name in ("한국.txt", "😀.txt"):
            os.chmod(self.path("u", name), 0o444)
        r = self.run_here(["-d2011-01-01", "u\\한국.txt", "u\\😀.txt"], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertIn("Warn.: 変更できませんでした。(u\\??.txt)\n", r.out_text)
        self.assertIn("Warn.: 変更できませんでした。(u\\?.txt)\n", r.out_text)
        reasons = [line for line in r.err_text.splitlines() if line.startswith("u\\?")]
        self.assertEqual(len(reasons), 2, r)
        self.assertTrue(reasons[0].endswith(" (? = U+D55C U+AD6D)"), reasons)
        self.assertTrue(reasons[1].endswith(" (? = U+1F600)"), reasons)
        # In UTF-8 every name shows as it is.
        r = self.run_here(["-zu", "-d2011-01-01", "u\\한국.txt"], env=UTC)
        self.assertEqual(r.code, 2, r)
        out = r.out[3:].decode("utf-8")
        self.assertIn("Warn.: 変更できませんでした。(u\\한국.txt)", out)
        self.assertNotIn("U+", r.err.decode("utf-8"))

    def test_an_argument_names_its_item_exactly(self):
        os.utime(self.path("u", "café.txt"), ns=(SRC_NS, SRC_NS))
        r = self.run_here(["-swu\\café.txt", "u\\cafe.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(mtime(self.path("u", "cafe.txt")), SRC_NS)


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
