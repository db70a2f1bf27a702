"""An item found in a listing is the item stamped and named in restore lines,
whatever its name holds: a trail byte that is the code of "\\" in code page 932,
characters that Windows paths give a meaning to, a trailing blank or point, a
device name."""

import os
import unittest

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


def mtime(*parts):
    return os.stat(os.path.join(*parts)).st_mtime_ns


class CounterpartsAndSources(ListedItems):
    """A counterpart, and a source file, is the file of that exact name: never
    a twin that a Windows path would read alike, never a device."""

    def test_a_counterpart_is_the_file_of_the_same_name(self):
        items = [(("n.txt ",), ("n.txt",)), (("m.txt.",), ("m.txt",)),
                 (("d.", "f.txt"), ("d", "f.txt")), (("k.txt ",), None)]
        for i, (parts, twin) in enumerate(items):
            self.make_file("orig", *parts, mtime_ns=OLD_NS + i * 10**9)
            if twin:
                self.make_file("orig", *twin, mtime_ns=OLD_NS + 100 * 10**9)
            self.make_file("copy", *parts, mtime_ns=NEW_NS)
        r = self.run_here(["-ss:orig" + SEP, "-r", j("copy", "*")], env=UTC)
        self.assertEqual(r.code, 0, r)
        for i, (parts, _) in enumerate(items):
            self.assertEqual(mtime(self.dir, "copy", *parts), OLD_NS + i * 10**9, parts)

    @unittest.skipUnless(WINDOWS, "device names are Windows'")
    def test_a_source_file_that_names_a_device_is_refused(self):
        self.make_file("orig", "nul.txt", mtime_ns=OLD_NS)
        self.make_file("tgt.txt", mtime_ns=NEW_NS)
        for source in [j("orig", "nul.txt"), "con", j("orig", "COM1.log")]:
            r = self.run_here(["-sw:" + source, "tgt.txt"], env=UTC)
            self.assertEqual(r.code, 2, r)
            self.assertIn("Warn.: コピー元ファイルが見つかりません。(tgt.txt)", r.out_text)
            self.assertIn("tgt.txt: %s: ディスク上のファイルではなくデバイスです" % source,
                          r.err_text)
            self.assertEqual(mtime(self.dir, "tgt.txt"), NEW_NS)
        # The file of that name in a listing is a file like any other.
        self.make_file("copy", "nul.txt", mtime_ns=NEW_NS)
        r = self.run_here(["-ss:orig" + SEP, j("copy", "*")], env=UTC)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(mtime(self.dir, "copy", "nul.txt"), OLD_NS)

    @unittest.skipIf(WINDOWS, "a FIFO is Linux'")
    def test_a_source_file_that_is_a_fifo_is_refused(self):
        os.mkfifo(self.path("fifo"))
        self.make_file("tgt.txt", mtime_ns=NEW_NS)
        for source in ["fifo", "fi*"]:
            r = self.run_here(["-sw:" + source, "tgt.txt"], env=UTC)
            self.assertEqual(r.code, 2, r)
            self.assertIn("Warn.: コピー元ファイルが見つかりません。(tgt.txt)", r.out_text)
            self.assertEqual(mtime(self.dir, "tgt.txt"), NEW_NS)


@unittest.skipUnless(WINDOWS, "only Windows matches short names and lists names alike")
class NamesUsersSee(ListedItems):
    def test_a_pattern_selects_by_long_names_only(self):
        names = ["A.TXT2", "longer name.text", "a~b.txt", "plain.txt", "README", "x.y.txt"]
        rows = [("*.txt", {"a~b.txt", "plain.txt", "x.y.txt"}), ("*~*", {"a~b.txt"}),
                ("*.", {"README"}), ("*.tex", set()), ("*.text", {"longer name.text"})]
        for pattern, selected in rows:
            self.add([("t", name) for name in names])
            r = self.run_here(["-g", "-d2011-01-01", j("t", pattern)], env=UTC)
            self.assertEqual(r.code, 0, r)
            changed = {p[len("t" + SEP):] for p in named(r, "変更しました")}
            self.assertEqual(changed, selected, pattern)
            for name in names:
                self.assertEqual(mtime(self.dir, "t", name) == NEW_NS, name in selected,
                                 (pattern, name))

    def test_two_names_listed_alike_are_both_refused(self):
        os.makedirs(self.path("u"))
        for raw in [b"a\xff.txt", b"a\xfe.txt"]:
            with open(os.path.join(self.dir.encode(), b"u", raw), "wb"):
                pass
            os.utime(os.path.join(self.dir.encode(), b"u", raw), ns=(OLD_NS, OLD_NS))
        self.make_file("u", "b.txt", mtime_ns=OLD_NS)
        r = self.run_here(["-d2011-01-01", j("u", "*")], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertEqual(named(r, "変更しました"), [j("u", "b.txt")])
        self.assertEqual(len(named(r, "Warn.: 変更できませんでした")), 2, r)
        for raw in [b"a\xff.txt", b"a\xfe.txt"]:
            self.assertEqual(os.stat(os.path.join(self.dir.encode(), b"u", raw)).st_mtime_ns,
                             OLD_NS)
        r = self.run_here(["-e", "-zu", j("u", "*")], env=UTC)
        self.assertEqual(r.code, 2, r)
        self.assertEqual(len(r.out_text.splitlines()), 1, r)

    def test_the_heading_comes_before_the_warnings_of_its_operand(self):
        self.make_file("d", "a*b.txt", mtime_ns=OLD_NS)
        self.make_file("d", "c.txt", mtime_ns=OLD_NS)
        heading = "\n更新日時を %s 00:00:00 に変更します。\n"
        warning = "Warn.: 変更できませんでした。(%s)\n" % j("d", "a*b.txt")
        changed = "変更しました。(%s)\n" % j("d", "c.txt")
        for threads in ["-zp1", "-zp8"]:
            r = self.run_here([threads, "-d2011-03-15", j("d", "a*")], env=UTC)
            self.assertEqual(r.code, 2, r)
            self.assertEqual(r.out_text, heading % "2011-03-15" + warning)
            r = self.run_here([threads, "-x", "-d2011-03-15", j("d", "c.txt"), "-d2012-01-01",
                               j("d", "*")], env=UTC)
            self.assertEqual(r.code, 2, r)
            head = heading % "2011-03-15" + changed + heading % "2012-01-01"
            self.assertEqual(r.out_text[:len(head)], head, r)
            self.assertEqual(sorted(r.out_text[len(head):].splitlines(True)),
                             sorted([warning, changed]), r)


if __name__ == "__main__":
    main()
