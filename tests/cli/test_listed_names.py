"""An item found in a listing is the item stamped and named in restore lines,
whatever its name holds: a trail byte that is the code of "\\" in code page 932,
characters that Windows paths give a meaning to, a trailing blank or point, a
device name."""

import os

from kelvard_cli import SEP, WINDOWS, TempDirTestCase, main, wine_path

OLD_NS = 978307200 * 10**9  # 2001-01-01 UTC
NEW_NS = 1293840000 * 10**9  # 2011-01-01 UTC
UTC = {"TZ": "UTC"}


def j(*parts):
    return SEP.join(parts)


def named(result, message):
    """The item paths of the lines "<message>。(<path>)", in order."""
    head = message + "。("
    return [line[len(head):-1] for line in result.out_text.split("\n")
            if line.startswith(head) and line.endswith(")")]


def full_path(path):
    """The item's absolute path as a restore line names it."""
    return wine_path(path) if WINDOWS else os.path.realpath(path)


class ListedItems(TempDirTestCase):
    def add(self, files):
        """Makes the files, each with its own modification stamp."""
        self.files = files
        for i, parts in enumerate(files):
            self.make_file(*parts, mtime_ns=OLD_NS + i * 10**9)

    def stamps(self):
        return [os.stat(self.path(*parts)).st_mtime_ns for parts in self.files]

    def save(self, restore):
        with open(self.path("r.txt"), "wb") as f:
            f.write(restore.out)


class FoldersEndingInATrailByte(ListedItems):
    """表, ソ, 予 and 十 end in the byte 0x5C ("\\") in code page 932."""

    def test_walked_stamped_and_restored_whole(self):
        self.add([("tree", "表", "a.txt"), ("tree", "ソ", "b.txt"), ("tree", "予", "十", "a.txt"),
                  ("tree", "c.txt"), ("tree", "表a.txt"), ("tree", "表表a.txt")])
        old = self.stamps()
        r = self.run_here(["-e", "-r", j("tree", "*")], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(sorted(line.split(" ", 4)[4] for line in r.out_text.splitlines()),
                         sorted(full_path(self.path(*parts)) for parts in self.files))
        self.save(r)

        # In every folder a.txt only, never a file whose name begins with the folder's.
        r = self.run_here(["-r", "-d2011-01-01", j("tree", "a.txt")], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(sorted(named(r, "変更しました")),
                         sorted([j("tree", "表", "a.txt"), j("tree", "予", "十", "a.txt")]))
        self.assertEqual(self.stamps(), [NEW_NS, old[1], NEW_NS] + old[3:])

        r = self.run_here(["-r", "-d2011-01-01", j("tree", "*.txt")], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(len(named(r, "変更しました")), 6, r)
        self.assertEqual(self.stamps(), [NEW_NS] * 6)

        r = self.run_here(["@r.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.stamps(), old)


class NamesWithAMeaningInPaths(ListedItems):
    """Names that a Windows path would read as something else. Linux holds
    them all, and Wine lists them as they are."""

    NAMES = ["..\\out.txt", "sub\\a.txt", "c:x.txt", "x*.txt", "xyz.txt", "t.txt", "t.txt ",
             "nul.txt", "x."]
    # Names that no Windows path can hold: the Windows build refuses them.
    REFUSED = {"..\\out.txt", "sub\\a.txt", "c:x.txt", "x*.txt"} if WINDOWS else set()

    def test_each_item_is_stamped_as_itself_or_refused(self):
        self.add([("in", name) for name in self.NAMES] + [("out.txt",), ("in", "sub", "a.txt")])
        old = self.stamps()
        in_folder = lambda paths: [p[len("in" + SEP):] for p in paths]

        # Restore lines first: none for a name that reads back as a pattern.
        r = self.run_here(["-e", j("in", "*")], env=UTC)
        self.assertEqual(r.code, 2, r)
        without_lines = self.REFUSED | {"x*.txt"}
        self.assertEqual(len(r.out_text.splitlines()), len(self.NAMES) - len(without_lines), r)
        for name in without_lines:
            self.assertIn("Warn.: 復元設定を作成できませんでした。(%s)" % j("in", name), r.err_text)
        self.save(r)

        r = self.run_here(["-d2011-01-01", j("in", "*")], env=UTC)
        self.assertEqual(r.code, 2 if self.REFUSED else 0, r)
        changed = in_folder(named(r, "変更しました"))
        refused = in_folder(named(r, "Warn.: 変更できませんでした"))
        self.assertEqual(sorted(changed), sorted(set(self.NAMES) - self.REFUSED))
        self.assertEqual(set(refused), self.REFUSED)
        for name in refused:
            self.assertIn("\n%s: " % j("in", name), r.err_text)  # the reason
        # Every item reported as changed is the one listed; nothing else changed.
        for parts, before, now in zip(self.files, old, self.stamps()):
            reported = parts[0] == "in" and len(parts) == 2 and parts[1] in changed
            self.assertEqual(now, NEW_NS if reported else before, parts)

        r = self.run_here(["@r.txt"], env=UTC)
        self.assertEqual(r.code, 0, r)
        for parts, before, now in zip(self.files, old, self.stamps()):
            if parts[-1] not in without_lines:
                self.assertEqual(now, before, parts)


if __name__ == "__main__":
    main()
