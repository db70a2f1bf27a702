"""Symbolic links in a tree: what a run may follow, and what it takes as itself."""

import os
import subprocess
import time
import unittest

from kelvard_cli import SEP, WINDOWS, TempDirTestCase, main

OLD_NS = 1000000000 * 10**9  # 2001-09-09
NEW_DAY = "-d2020-01-01"


def changed(result):
    """The item paths of the "changed" result lines, in order."""
    found = []
    for line in result.out_text.split("\n"):
        if line.startswith("変更しました。(") and line.endswith(")"):
            found.append(line[len("変更しました。("):-1])
    return found


def j(*parts):
    return SEP.join(parts)


class Links(TempDirTestCase):
    def link(self, target, *parts):
        os.makedirs(os.path.dirname(self.path(*parts)), exist_ok=True)
        os.symlink(target, self.path(*parts))

    def age(self, *parts):
        """Gives the item (the link itself for a link) an old modification stamp."""
        os.utime(self.path(*parts), ns=(OLD_NS, OLD_NS), follow_symlinks=False)

    def mtime(self, *parts, follow=True):
        return os.stat(self.path(*parts), follow_symlinks=follow).st_mtime_ns

    @unittest.skipIf(WINDOWS, "symbolic links as items of their own are the native build's")
    def test_every_kind_of_link(self):
        # t: f.txt, lf.txt -> out/o1.txt, ld.txt -> out/dir
        # t/sub: g.txt, lf2.txt -> out/o2.txt, ld2.txt -> out/dir, dangling.txt, loop.txt
        for parts in [("t", "f.txt"), ("t", "sub", "g.txt"), ("out", "o1.txt"),
                      ("out", "o2.txt"), ("out", "dir", "p.txt")]:
            self.make_file(*parts)
        out = self.path("out")
        self.link(os.path.join(out, "o1.txt"), "t", "lf.txt")
        self.link(os.path.join(out, "dir"), "t", "ld.txt")
        self.link(os.path.join(out, "o2.txt"), "t", "sub", "lf2.txt")
        self.link(os.path.join(out, "dir"), "t", "sub", "ld2.txt")
        self.link("nowhere", "t", "sub", "dangling.txt")
        self.link("loop.txt", "t", "sub", "loop.txt")
        for parts in [("out", "o1.txt"), ("out", "o2.txt"), ("out", "dir", "p.txt"),
                      ("t", "sub", "lf2.txt"), ("t", "sub", "dangling.txt")]:
            self.age(*parts)

        r = self.run_here(["-r", NEW_DAY, j("t", "*.txt")])
        self.assertEqual(r.code, 0, r)
        # In the operand's own folder a matching link is followed, as a name
        # the shell expanded would be: lf.txt stamps out/o1.txt, and ld.txt is
        # a folder there, which this folder mode leaves alone.
        self.assertEqual(sorted(changed(r)), sorted([
            j("t", "f.txt"), j("t", "lf.txt"), j("t", "sub", "g.txt"), j("t", "sub", "lf2.txt"),
            j("t", "sub", "ld2.txt"), j("t", "sub", "dangling.txt"), j("t", "sub", "loop.txt")]))
        self.assertNotEqual(self.mtime("out", "o1.txt"), OLD_NS)
        # Below it, a link is an item of its own: its own stamps change, not
        # its target's, and a link to a folder is never searched.
        self.assertEqual(self.mtime("out", "o2.txt"), OLD_NS)
        self.assertNotEqual(self.mtime("t", "sub", "lf2.txt", follow=False), OLD_NS)
        self.assertNotEqual(self.mtime("t", "sub", "dangling.txt", follow=False), OLD_NS)
        self.assertEqual(self.mtime("out", "dir", "p.txt"), OLD_NS)

    @unittest.skipIf(WINDOWS, "symbolic links as items of their own are the native build's")
    def test_a_link_in_the_operands_folder_is_a_folder_only_when_named(self):
        # t: f.txt, lf.txt -> out/o1.txt, ld -> out/dir. A link the pattern
        # matches is followed; -f1 and -f2 never take one for a folder unless
        # the operand names it exactly.
        self.make_file("t", "f.txt")
        self.make_file("out", "o1.txt")
        os.makedirs(self.path("out", "dir"))
        self.link(self.path("out", "o1.txt"), "t", "lf.txt")
        self.link(self.path("out", "dir"), "t", "ld")
        rows = [
            (["-r", "-f2", j("t", "*.txt")], True, False),
            (["-f1", j("t", "*")], True, False),
            (["-f2", j("t", "*")], True, False),
            (["-r", "-f3", j("t", "*")], False, False),
            ([j("t", "ld")], False, True),
            (["-f2", j("t", "ld")], False, True),
            ([j("t", "lf.txt")], True, False),
        ]
        for args, file_changed, folder_changed in rows:
            with self.subTest(args=args):
                self.age("out", "o1.txt")
                self.age("out", "dir")
                r = self.run_here([NEW_DAY] + args)
                self.assertIn(r.code, (0, 1), r)
                self.assertEqual(self.mtime("out", "o1.txt") != OLD_NS, file_changed, r)
                self.assertEqual(self.mtime("out", "dir") != OLD_NS, folder_changed, r)

    @unittest.skipIf(WINDOWS, "symbolic links as items of their own are the native build's")
    def test_a_link_named_as_the_operand_and_its_restore_line(self):
        self.make_file("out", "dir", "p.txt")
        self.link(self.path("out", "dir"), "t", "ld")
        self.link(self.path("out", "dir", "p.txt"), "t", "lp")
        # The operand's folder is a link: searched like the folder it names.
        r = self.run_here(["-r", "-v", j("t", "ld", "*")])
        self.assertIn("変更されます。(%s)" % j("t", "ld", "p.txt"), r.out_text)
        # Named in its own folder a link is followed, and its line names the
        # link, which reading it back follows the same way. A link met during
        # -r gets no line: read back, its path would name what it points to.
        os.makedirs(self.path("t", "s"))
        self.link(self.path("out", "dir", "p.txt"), "t", "s", "lp")
        r = self.run_here(["-e", "-r", j("t", "*")])
        lines = r.out_text.splitlines()
        self.assertEqual(len(lines), 1, r)
        self.assertTrue(lines[0].endswith(" " + os.path.join(os.path.realpath(self.path("t")), "lp")), r)
        self.assertIn("Warn.: 復元設定を作成できませんでした。(%s)" % j("t", "s", "lp"),
                      r.err_text)

    @unittest.skipIf(WINDOWS, "a link followed by a path of the native build")
    def test_dot_dot_after_a_link_names_the_real_parent(self):
        # lnk -> a/b, so lnk/../f is a/f for the system, not ./f.
        self.make_file("f", mtime_ns=OLD_NS)
        self.make_file("a", "f", mtime_ns=OLD_NS + 10**9)
        os.makedirs(self.path("a", "b"))
        self.link(self.path("a", "b"), "lnk")
        r = self.run_here(["-e", "-zs0", j("lnk", "..", "f")], env={"TZ": "UTC"})
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text, "-ixgw -zo+00:00 -d:2001-09-09 -t:01:46:41 %s\n" % os.path.join(os.path.realpath(self.path("a")), "f"))

    def test_folders_linked_back_up_are_searched_once(self):
        # t6/a/b/up -> .. and t6/a/self -> ../../t6: each file stamped once, and
        # the run ends at once (under Wine a link to a folder is a reparse point).
        self.make_file("t6", "x.txt")
        self.make_file("t6", "a", "y.txt")
        self.make_file("t6", "a", "b", "z.txt")
        self.link("..", "t6", "a", "b", "up")
        self.link(os.path.join("..", "..", "t6"), "t6", "a", "self")
        r = self.run_here(["-r", "-f2", NEW_DAY, j("t6", "*.txt")], timeout=60)
        self.assertEqual(r.code, 0, r)
        files = [p for p in changed(r) if p.endswith(".txt")]
        self.assertEqual(sorted(files), sorted([
            j("t6", "x.txt"), j("t6", "a", "y.txt"), j("t6", "a", "b", "z.txt")]))

    def test_a_linked_folder_below_the_operand_leads_nowhere_outside(self):
        # t/sub/out -> ../../out: stamped as an item (Wine stamps what a link
        # points to whatever the flags say), never searched.
        self.make_file("out", "o.txt", mtime_ns=OLD_NS)
        self.make_file("t", "sub", "a.txt")
        self.link(os.path.join("..", "..", "out"), "t", "sub", "out")
        r = self.run_here(["-r", "-f1", NEW_DAY, j("t", "*")])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(sorted(changed(r)), sorted([
            j("t", "sub"), j("t", "sub", "a.txt"), j("t", "sub", "out")]))
        self.assertEqual(self.mtime("out", "o.txt"), OLD_NS)

    @unittest.skipIf(WINDOWS, "the mesh is a native-build case")
    def test_a_mesh_of_linked_folders_ends_fast(self):
        # Eight folders, each with a file and a link to every other folder.
        for i in range(8):
            self.make_file("m", "f%d" % i, "x.txt")
            for k in range(8):
                if k != i:
                    self.link(os.path.join("..", "f%d" % k), "m", "f%d" % i, "l%d" % k)
        start = time.monotonic()
        r = self.run_here(["-r", "-v", j("m", "*.txt")])
        self.assertLess(time.monotonic() - start, 1.0)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更されます。("), 8, r)

    def test_a_folder_mounted_inside_itself_is_searched_once(self):
        # Under Wine too: the bind mount is a plain folder there, known by its
        # volume and index.
        self.make_file("t", "a.txt")
        self.make_file("t", "sub", "b.txt")
        os.makedirs(self.path("t", "sub", "loop"))
        mount = subprocess.run(["mount", "--bind", self.path("t"), self.path("t", "sub", "loop")],
                               capture_output=True)
        if mount.returncode != 0:
            self.skipTest("no bind mount here: %r" % mount.stderr)
        self.addCleanup(subprocess.run, ["umount", self.path("t", "sub", "loop")])
        r = self.run_here(["-r", "-v", j("t", "*.txt")], timeout=20)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更されます。("), 2, r)


if __name__ == "__main__":
    main()
