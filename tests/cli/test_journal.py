"""The journal and -Undo on real files: every stamp comes back exactly, also
after a run that was killed; items changed since the run keep their stamps;
an interrupt leaves report, journal and stamps telling the same."""

import datetime
import errno
import os
import re
import resource
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import unittest
import zlib

from kelvard_cli import (EOL, SEP, WINDOWS, TempDirTestCase, command, isolated_environment,
                         journal_folder, main, state_environment, text, wine_path)

# 2001-09-09 01:46:40 UTC with every sub-second digit the build keeps
# (natively to the nanosecond, on Windows to 100 ns), and a later value.
OLD_NS = 1000000000 * 10**9 + (123456700 if WINDOWS else 123456789)
TOUCHED_NS = 1100000000 * 10**9


def stamps(path):
    info = os.stat(path)
    return info.st_mtime_ns, info.st_atime_ns


class JournalCase(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.state = self.path("state")
        os.makedirs(self.state)
        self.env = state_environment(self.state)

    def kel(self, args, **kwargs):
        kwargs.setdefault("env", self.env)
        return self.run_here(args, **kwargs)

    def journals(self):
        folder = journal_folder(self.state)
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def journal_text(self, name):
        with open(os.path.join(journal_folder(self.state), name), "rb") as f:
            return f.read().decode("cp932" if WINDOWS else "utf-8", "replace")

    def tree(self, names):
        """Files (and the folder sub) with distinct stamps; their stamps by path."""
        os.makedirs(self.path("t", "sub"), exist_ok=True)
        paths = []
        for i, name in enumerate(names):
            p = self.make_file("t", *name.split("/"))
            os.utime(p, ns=(OLD_NS + 300 * i + (0 if WINDOWS else 17), OLD_NS + 100 * i))
            paths.append(p)
        os.utime(self.path("t", "sub"), ns=(OLD_NS - 10**9, OLD_NS - 2 * 10**9))
        paths.append(self.path("t", "sub"))
        return {p: stamps(p) for p in paths}


class Undo(JournalCase):
    NAMES = ["a.txt", "b c.txt", "日本語.txt", "sub/d.txt", "sub/e;f.txt"]

    @staticmethod
    def reported(r):
        """The paths of the items that a report says were changed, in its order."""
        head = "変更しました。("
        return [l[len(head):-1] for l in r.out_text.split("\n") if l.startswith(head)]

    def test_every_stamp_comes_back(self):
        before = self.tree(self.NAMES)
        pattern = os.path.join("t", "*")
        r = self.kel(["-w", "-a", "-r", "-f1", "-d2020-01-01", "-t12:00", pattern])
        self.assertEqual(r.code, 0, r)
        done = self.reported(r)
        self.assertEqual(len(done), len(before), r)
        self.assertTrue(all(stamps(p) != s for p, s in before.items()))
        # The preview changes nothing.
        changed = {p: stamps(p) for p in before}
        r = self.kel(["-Undo", "-v"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更されます。("), len(before), r)
        self.assertEqual({p: stamps(p) for p in before}, changed)
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual({p: stamps(p) for p in before}, before)
        # Named by their absolute paths, in reverse order.
        self.assertEqual(self.reported(r), [wine_path(self.path(p)) for p in reversed(done)])
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 1, r)
        self.assertIn("Error: 取り消せる実行がありません。", r.err_text)

    def test_items_changed_since_the_run_keep_their_stamps(self):
        before = self.tree(["a.txt", "b.txt"])
        r = self.kel(["-d2020-01-01", os.path.join("t", "*.txt")])
        self.assertEqual(r.code, 0, r)
        os.utime(self.path("t", "b.txt"), ns=(TOUCHED_NS, TOUCHED_NS))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 2, r)
        b = wine_path(self.path("t", "b.txt"))
        self.assertIn("Warn.: 変更できませんでした。(%s)\n" % b, r.out_text)
        self.assertIn("%s: 実行の後で変更されています\n" % b, r.err_text)
        self.assertEqual(stamps(self.path("t", "b.txt")), (TOUCHED_NS, TOUCHED_NS))
        a = self.path("t", "a.txt")
        self.assertEqual(stamps(a), before[a])
        # The run stays open for the item it could not take back, and says so.
        r = self.kel(["-Undo", "list"])
        self.assertIn("一部取り消し", r.out_text)
        mtime, atime = before[self.path("t", "b.txt")]
        os.utime(self.path("t", "b.txt"), ns=(atime, mtime))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.kel(["-Undo"]).code, 1)

    @unittest.skipUnless(WINDOWS, "names in the code page of the Windows build and beyond it")
    def test_names_with_a_backslash_trail_byte_and_beyond_the_code_page(self):
        # 表 and ソ end in the byte of "\\" in code page 932; café and 한국 are
        # not in it at all.
        before = self.tree(["表.txt", "ソ 能.txt", "sub/表.txt", "café.txt", "sub/한국.txt"])
        r = self.kel(["-r", "-f1", "-w", "-a", "-d2020-01-01", os.path.join("t", "*")])
        self.assertEqual(r.code, 0, r)
        self.assertTrue(all(stamps(p) != s for p, s in before.items()))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertIn("変更しました。(%s)" % wine_path(self.path("t", "sub", "表.txt")), r.out_text)
        self.assertEqual({p: stamps(p) for p in before}, before)


@unittest.skipUnless(WINDOWS, "the Windows build's identities and reparse points")
class UndoUnderWine(JournalCase):
    def test_another_file_of_the_same_name_keeps_its_stamps(self):
        before = self.tree(["a.txt", "b.txt"])
        r = self.kel(["-w", "-d2020-01-01", os.path.join("t", "*.txt")])
        self.assertEqual(r.code, 0, r)
        a, b = self.path("t", "a.txt"), self.path("t", "b.txt")
        written = os.stat(a)
        os.rename(a, self.path("t", "a.old"))
        with open(a, "w"):
            pass
        os.utime(a, ns=(written.st_atime_ns, written.st_mtime_ns))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 2, r)
        self.assertIn("%s: 実行で変更した項目ではありません" % wine_path(a), r.err_text)
        self.assertEqual(os.stat(a).st_mtime_ns, written.st_mtime_ns)
        self.assertEqual(stamps(b), before[b])

    def test_a_state_folder_that_is_a_reparse_point_is_never_used(self):
        self.tree(["a.txt"])
        elsewhere = self.path("elsewhere")
        os.makedirs(elsewhere)
        os.makedirs(os.path.dirname(journal_folder(self.state)))
        os.symlink(elsewhere, journal_folder(self.state))
        a = self.path("t", "a.txt")
        before = stamps(a)
        for args in (["-d2020-01-01", wine_path(a)], ["-Undo"]):
            r = self.kel(args)
            self.assertEqual(r.code, 1, r)
            self.assertIn("Error: ジャーナルの保存先フォルダを信頼できません。\n%s: リンクです\n"
                          % wine_path(journal_folder(self.state)), r.err_text)
        self.assertEqual(stamps(a), before)
        self.assertEqual(os.listdir(elsewhere), [])

class StateFolder(JournalCase):
    def test_a_state_folder_that_cannot_be_made_stops_the_run_first(self):
        # A file where the state folder belongs: no folder can be made there,
        # also for root.
        blocked = self.path("blocked")
        with open(blocked, "w"):
            pass
        before = self.tree(["a.txt"])
        a = self.path("t", "a.txt")
        r = self.kel(["-d2020-01-01", wine_path(a)],
                     env=state_environment(os.path.join(blocked, "x")))
        self.assertEqual(r.code, 1, r)
        self.assertRegex(r.err_text,
                         "\nError: ジャーナルを作成できません。何も変更していません。\n.+: .+\n$")
        self.assertEqual(r.out, b"")
        self.assertEqual(stamps(a), before[a])
        # Without the journal the run goes on as before.
        r = self.kel(["-zj0", "-d2020-01-01", wine_path(a)],
                     env=state_environment(os.path.join(blocked, "x")))
        self.assertEqual(r.code, 0, r)
        self.assertNotEqual(stamps(a), before[a])

    @unittest.skipIf(WINDOWS, "modes of the native build")
    def test_private_folder_and_files(self):
        self.tree(["a.txt"])
        old = os.umask(0)
        self.addCleanup(os.umask, old)
        r = self.kel(["-d2020-01-01", self.path("t", "a.txt")],
                     env={"XDG_STATE_HOME": self.path("state", "new", "deeper")})
        self.assertEqual(r.code, 0, r)
        for folder in ("new", "new/deeper", "new/deeper/kelvard"):
            self.assertEqual(stat.S_IMODE(os.stat(self.path("state", folder)).st_mode), 0o700)
        [name] = os.listdir(self.path("state", "new", "deeper", "kelvard"))
        mode = os.stat(self.path("state", "new", "deeper", "kelvard", name)).st_mode
        self.assertEqual(stat.S_IMODE(mode), 0o600)

    @unittest.skipIf(WINDOWS, "the home folder of the native build")
    def test_the_default_place_is_under_home(self):
        self.tree(["a.txt"])
        env = dict(isolated_environment(), HOME=self.path("home"))
        env.pop("XDG_STATE_HOME")
        proc = subprocess.run(command(["-d2020-01-01", self.path("t", "a.txt")]), env=env,
                              capture_output=True, timeout=120)
        self.assertEqual(proc.returncode, 0, proc)
        self.assertEqual(os.listdir(self.path("home", ".local", "state", "kelvard")),
                         ["run-000001.txt"])


def journal_line(text):
    """A journal line as the program ends it: its text, its check and its line end."""
    return "%s\t#%08X\n" % (text, zlib.crc32(text.encode()))


def journal_stamp(ns):
    """A stamp (nanoseconds since 1970) in the journal's calendar form."""
    when = datetime.datetime(1970, 1, 1) + datetime.timedelta(microseconds=ns // 1000)
    return when.strftime("%Y-%m-%dT%H:%M:%S") + ".%09dZ" % (ns % 10**9)


@unittest.skipIf(WINDOWS, "links, modes, signals and kernels of the native build")
class UndoOnRealFiles(JournalCase):
    """-Undo writes only to what its run changed, reached as the walk reaches it."""

    def written_run(self, names=("a.txt", "b.txt"), more=()):
        before = self.tree(list(names))
        r = self.kel(["-w", "-a", "-d2020-01-01"] + list(more) + [os.path.join("t", "*.txt")])
        self.assertEqual(r.code, 0, r)
        return before

    def test_what_is_no_more_the_item_keeps_its_stamps(self):
        outside = self.make_file("outside", "secret.txt", mtime_ns=OLD_NS)
        os.chmod(outside, 0o600)
        outside_sub = self.make_file("outside", "sub", "c.txt", mtime_ns=OLD_NS)
        a, b = self.path("t", "a.txt"), self.path("t", "b.txt")

        def swap_item():
            os.remove(a)
            os.symlink(outside, a)

        def swap_folder():
            os.rename(self.path("t", "sub"), self.path("t", "sub.old"))
            os.symlink(os.path.dirname(outside_sub), self.path("t", "sub"))
            return self.path("t", "sub", "c.txt")

        def replace(ns_later):
            def change():
                info = os.stat(a)
                if ns_later is None:
                    os.remove(a)
                    with open(a, "w"):
                        pass
                    os.utime(a, ns=(info.st_atime_ns, info.st_mtime_ns))
                else:
                    os.utime(a, ns=(info.st_atime_ns, info.st_mtime_ns + ns_later))
            return change

        # Each row: what happens after the run, the item that keeps its
        # stamps, and the reason given.
        rows = [
            ("the item swapped for a link", swap_item, a, "実行で変更した項目ではありません"),
            ("a folder on its path swapped for a link", swap_folder, None,
             os.strerror(errno.ELOOP)),
            ("another file of the same name with the run's stamps", replace(None), a,
             "実行で変更した項目ではありません"),
            ("a stamp one nanosecond later", replace(1), a, "実行の後で変更されています"),
            ("a stamp 1.5 s earlier", replace(-1500000000), a, "実行の後で変更されています"),
        ]
        for what, change, kept, reason in rows:
            with self.subTest(what):
                shutil.rmtree(self.path("t"), True)
                shutil.rmtree(journal_folder(self.state), True)
                os.utime(outside, ns=(OLD_NS, OLD_NS))
                os.utime(outside_sub, ns=(OLD_NS, OLD_NS))
                before = self.written_run(["a.txt", "b.txt", "sub/c.txt"], ["-r"])
                moved = change()
                kept = kept or moved
                r = self.kel(["-Undo"])
                self.assertEqual(r.code, 2, r)
                self.assertIn("Warn.: 変更できませんでした。(%s)\n" % kept, r.out_text)
                self.assertRegex(r.err_text, re.escape(kept + ": " + reason))
                self.assertEqual(stamps(outside), (OLD_NS, OLD_NS))
                self.assertEqual(stamps(outside_sub), (OLD_NS, OLD_NS))
                self.assertEqual(stamps(b), before[b])
                # Open for the item kept: the list says so, and a later -Undo
                # writes nothing new.
                self.assertIn("一部取り消し", self.kel(["-Undo", "list"]).out_text)
                self.assertEqual(self.kel(["-Undo"]).code, 2)
                self.assertEqual(stamps(outside), (OLD_NS, OLD_NS))
                if os.path.islink(self.path("t", "sub")):
                    os.remove(self.path("t", "sub"))

    def test_a_moved_tree_is_taken_back_once_it_is_back(self):
        before = self.written_run()
        os.rename(self.path("t"), self.path("away"))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 2, r)
        self.assertEqual(r.out_text.count("Warn.: 変更できませんでした。"), 2, r)
        os.rename(self.path("away"), self.path("t"))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual({p: stamps(p) for p in before}, before)
        self.assertIn("取り消し済み", self.kel(["-Undo", "list"]).out_text)

    def test_a_damaged_record_is_named_and_the_rest_taken_back(self):
        for what, change in (("a digit of an old stamp", lambda l: l.replace("2001-", "2011-", 1)),
                             ("a letter of the path", lambda l: l.replace("a.txt", "b.txt"))):
            with self.subTest(what):
                shutil.rmtree(self.path("t"), True)
                shutil.rmtree(journal_folder(self.state), True)
                before = self.written_run()
                [name] = self.journals()
                path = os.path.join(journal_folder(self.state), name)
                with open(path) as f:
                    lines = f.readlines()
                [at] = [i for i, l in enumerate(lines) if l.startswith("item") and "a.txt" in l]
                lines[at] = change(lines[at])
                with open(path, "w") as f:
                    f.writelines(lines)
                a, b = self.path("t", "a.txt"), self.path("t", "b.txt")
                written = stamps(a)
                r = self.kel(["-Undo"])
                self.assertEqual(r.code, 2, r)
                self.assertIn("Warn.: 変更できませんでした。(%s の %d 行目)" % (path, at + 1),
                              r.out_text)
                self.assertEqual(stamps(a), written)
                self.assertEqual(stamps(b), before[b])
                # Taken back in part: no "undone" mark, and the list says so.
                with open(path) as f:
                    self.assertFalse(any(l.startswith("undone\t") for l in f))
                r = self.kel(["-Undo", "list"])
                self.assertIn("一部取り消し", r.out_text)

    def test_stamps_of_any_age_come_back_or_the_item_is_left_alone(self):
        shm = tempfile.mkdtemp(prefix="kelvard-tmpfs-", dir="/dev/shm")
        self.addCleanup(shutil.rmtree, shm, True)
        old = os.path.join(shm, "1500.txt")
        first = os.path.join(shm, "1601.txt")
        for p in (old, first):
            with open(p, "w"):
                pass
        year_1500 = -int((1970 - 1500) * 365.2425 * 86400) * 10**9 + 123456789
        os.utime(old, ns=(year_1500, year_1500))
        # 1601-01-01 00:00:00 exactly: no time value holds it apart from "none".
        os.utime(first, ns=(-11644473600 * 10**9, -11644473600 * 10**9))
        r = self.kel(["-w", "-a", "-d2020-01-01", os.path.join(shm, "*.txt")])
        self.assertEqual(r.code, 2, r)
        self.assertIn("%s: 日時が記録できる範囲の外にあるため" % first, r.err_text)
        self.assertEqual(stamps(first), (-11644473600 * 10**9,) * 2)
        self.assertNotEqual(stamps(old), (year_1500, year_1500))
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(stamps(old), (year_1500, year_1500))

    def test_a_journal_write_that_fails_leaves_whole_lines(self):
        before = self.tree(["f%04d.txt" % i for i in range(1000)])

        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (70000, 70000))

        # One thread: the journal is written in many small parts.
        proc = subprocess.run(command(["-zp1", "-w", "-d2020-01-01", os.path.join("t", "*.txt")]),
                              cwd=self.dir, env=dict(isolated_environment(), **self.env),
                              capture_output=True, preexec_fn=limited, timeout=120)
        self.assertEqual(proc.returncode, 1, proc)
        self.assertIn(text("Error: ジャーナルに書き込めません。"), proc.stderr)
        [name] = self.journals()
        journal = self.journal_text(name)
        self.assertTrue(journal.endswith("\n"))
        r = self.kel(["-Undo", "list"])
        self.assertEqual(r.code, 0, r)
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual({p: stamps(p) for p in before}, before)
        self.assertIn("取り消し済み", self.kel(["-Undo", "list"]).out_text)

    def test_a_path_of_any_length_is_reached_from_the_root(self):
        # 30 folders of 200 characters: some 6 KB, reached one name at a time.
        names = ["d%02d" % i + "x" * 197 for i in range(30)]
        fd = os.open(self.dir, os.O_DIRECTORY)
        for name in names:
            os.mkdir(name, dir_fd=fd)
            inner = os.open(name, os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = inner
        os.close(os.open("deep.txt", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
        os.utime("deep.txt", ns=(TOUCHED_NS, TOUCHED_NS), dir_fd=fd)
        info = os.stat("deep.txt", dir_fd=fd)
        path = os.path.join(os.path.realpath(self.dir), *names, "deep.txt")
        self.assertGreater(len(path), 6000)
        identity = "%d:%d" % ((os.major(info.st_dev) << 32) | os.minor(info.st_dev), info.st_ino)
        os.makedirs(journal_folder(self.state), mode=0o700)
        old = journal_stamp(OLD_NS)
        written = journal_stamp(TOUCHED_NS)
        with open(os.path.join(journal_folder(self.state), "run-000001.txt"), "w") as f:
            f.write("".join(journal_line(l) for l in [
                "kelvard journal 2", "start\t" + written, "program\tkelvard", "folder\t/",
                "command\t-w\t-a", "item\tf\t%s\t-\t%s\t%s\t-\t%s\t%s\t%s" % (
                    old, old, written, written, identity, path),
                "end\t0\tdone"]))
        os.chmod(os.path.join(journal_folder(self.state), "run-000001.txt"), 0o600)
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(os.stat("deep.txt", dir_fd=fd).st_mtime_ns, OLD_NS)
        os.close(fd)

    def test_the_state_folder_in_the_tree_is_no_item_of_the_run(self):
        self.tree(["a.txt"])
        env = state_environment(self.path("t", "state"))
        for _ in range(2):
            r = self.kel(["-r", "-f1", "-d2020-01-01", os.path.join("t", "*")], env=env)
            self.assertEqual(r.code, 0, r)
            self.assertNotIn("state/kelvard", r.out_text)
        r = self.kel(["-Undo"], env=env)
        self.assertEqual(r.code, 0, r)
        self.assertNotIn("Warn.", r.out_text)
        self.assertNotIn("state/kelvard", r.out_text)


@unittest.skipIf(WINDOWS, "modes and owners of the native build")
class TrustedStateFolder(JournalCase):
    def test_a_state_folder_others_may_write_is_never_used(self):
        base = self.path("base")
        folder = journal_folder(base)
        elsewhere = self.path("elsewhere")

        def mode(path, bits):
            return lambda: (os.makedirs(path, exist_ok=True), os.chmod(path, bits))

        def link():
            os.makedirs(elsewhere, mode=0o700)
            os.symlink(elsewhere, folder)

        rows = [
            ("the state folder open to all", mode(base, 0o777), base, "ほかのユーザーも書き込めます"),
            ("its own folder open to the group", mode(folder, 0o770), folder,
             "ほかのユーザーも書き込めます"),
            ("its own folder a link", link, folder, "リンクです"),
            ("another user's", lambda: os.chown(base, 65534, 65534), base,
             "所有者が別のユーザーです"),
        ]
        a = self.path("t", "a.txt")
        for what, make, named, problem in rows:
            with self.subTest(what):
                shutil.rmtree(base, True)
                shutil.rmtree(elsewhere, True)
                os.makedirs(base, mode=0o700)
                before = self.tree(["a.txt"])
                make()
                env = state_environment(base)
                for args in (["-d2020-01-01", a], ["-Undo"], ["-Undo", "list"]):
                    r = self.kel(args, env=env)
                    self.assertEqual(r.code, 1, (args, r))
                    self.assertTrue(r.err_text.endswith(
                        "Error: ジャーナルの保存先フォルダを信頼できません。\n%s: %s\n"
                        % (named, problem)), r)
                self.assertEqual(stamps(a), before[a])
                self.assertFalse(os.listdir(elsewhere) if os.path.isdir(elsewhere) else [])

    def test_names_in_the_way_and_planted_journals(self):
        before = self.tree(["a.txt"])
        a = self.path("t", "a.txt")
        os.makedirs(journal_folder(self.state), mode=0o700)
        # A link in the way is passed over: the run takes the next number.
        os.symlink(a, os.path.join(journal_folder(self.state), "run-000001.txt"))
        r = self.kel(["-d2020-01-01", a])
        self.assertEqual(r.code, 0, r)
        self.assertIn("run-000002.txt", self.journals())
        # A journal planted by another user is never read.
        planted = os.path.join(journal_folder(self.state), "run-000003.txt")
        with open(planted, "w") as f:
            f.write("kelvard journal 2\n")
        os.chown(planted, 65534, 65534)
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 1, r)
        self.assertIn("Error: ジャーナルを信頼できません。\n%s: 所有者が別のユーザーです\n" % planted,
                      r.err_text)
        os.remove(planted)
        self.assertEqual(self.kel(["-Undo"]).code, 0)
        self.assertEqual(stamps(a), before[a])

    def test_modes_are_set_whatever_the_umask(self):
        before = self.tree(["a.txt"])
        a = self.path("t", "a.txt")
        base = self.path("new", "deeper")
        for args in (["-d2020-01-01", a], ["-Undo"]):
            proc = subprocess.run(command(args), cwd=self.dir,
                                  env=dict(isolated_environment(), **state_environment(base)),
                                  capture_output=True, preexec_fn=lambda: os.umask(0o377),
                                  timeout=60)
            self.assertEqual(proc.returncode, 0, proc)
        self.assertEqual(stat.S_IMODE(os.stat(journal_folder(base)).st_mode), 0o700)
        [name] = os.listdir(journal_folder(base))
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(journal_folder(base), name)).st_mode),
                         0o600)
        self.assertEqual(stamps(a), before[a])


@unittest.skipIf(WINDOWS, "signals of the native build")
class StoppedRuns(JournalCase):
    """A large tree, made once, and a run stopped part-way through it."""
    FOLDERS, FILES = 10, 1000

    @classmethod
    def setUpClass(cls):
        cls.big = tempfile.mkdtemp(prefix="kelvard-big-")
        cls.addClassCleanup(shutil.rmtree, cls.big, True)
        cls.before = {}
        for d in range(cls.FOLDERS):
            folder = os.path.join(cls.big, "d%02d" % d)
            os.makedirs(folder)
            for f in range(cls.FILES):
                p = os.path.join(folder, "f%04d.txt" % f)
                os.close(os.open(p, os.O_CREAT | os.O_WRONLY, 0o644))
                ns = OLD_NS + 100 * (d * cls.FILES + f)
                cls.before[p] = (ns, ns)

    def stopped_run(self, sig):
        """Starts a run over the tree, stops it with sig part-way, and gives the
        exit code, the report and the journal. A run that ended before the
        signal came (a busy machine) is run again."""
        folder = journal_folder(self.state)
        for attempt in range(5):
            for p, ns in self.before.items():
                os.utime(p, ns=ns)
            if os.path.isdir(folder):
                shutil.rmtree(folder)
            with tempfile.TemporaryFile() as out:
                proc = subprocess.Popen(command(["-r", "-w", "-a", "-d2020-01-01",
                                                 os.path.join(self.big, "*.txt")]),
                                        cwd=self.dir, env=dict(isolated_environment(), **self.env),
                                        stdout=out, stderr=subprocess.DEVNULL)
                # Stopped once the report shows items done: the first block
                # of the report goes out after some hundred of them.
                deadline = time.time() + 60
                while time.time() < deadline and proc.poll() is None:
                    if os.fstat(out.fileno()).st_size > 0:
                        break
                    time.sleep(0.001)
                proc.send_signal(sig)
                code = proc.wait(60)
                out.seek(0)
                # A process killed may have cut its last write anywhere.
                report = out.read().decode("utf-8", "replace")
            [name] = self.journals()
            journal = self.journal_text(name)
            if "\nend\t0\t" not in journal:
                return code, report, journal
        self.fail("every run ended before it was stopped")

    def changed(self):
        return {p for p, s in self.before.items() if stamps(p) != s}

    def journaled(self, journal):
        return {line.split("\t")[-2] for line in journal.split("\n") if line.startswith("item\t")}

    def test_undo_after_a_killed_run(self):
        code, _, journal = self.stopped_run(signal.SIGKILL)
        self.assertEqual(code, -signal.SIGKILL)
        changed = self.changed()
        self.assertTrue(changed)
        self.assertLess(len(changed), len(self.before))
        # Every item changed is in the journal (the journal's last records may
        # be of items not written yet: -Undo finds them as they were).
        journaled = self.journaled(journal)
        self.assertLessEqual({os.path.realpath(p) for p in changed}, journaled)
        r = self.kel(["-Undo"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更しました。("), len(journaled), r)
        self.assertEqual({p: stamps(p) for p in self.before}, self.before)

    def test_a_run_still_going_is_neither_taken_back_nor_pruned(self):
        for p, ns in self.before.items():
            os.utime(p, ns=ns)
        other = self.make_file("other.txt", mtime_ns=OLD_NS)
        with tempfile.TemporaryFile() as out:
            proc = subprocess.Popen(command(["-r", "-w", "-a", "-d2020-01-01",
                                             os.path.join(self.big, "*.txt")]),
                                    cwd=self.dir, env=dict(isolated_environment(), **self.env),
                                    stdout=out, stderr=subprocess.DEVNULL)
            self.addCleanup(proc.kill)
            deadline = time.time() + 60
            while time.time() < deadline and os.fstat(out.fileno()).st_size == 0:
                time.sleep(0.001)
            proc.send_signal(signal.SIGSTOP)
            if proc.poll() is not None:
                self.skipTest("the run ended before it was stopped")
            for args in (["-Undo"], ["-Undo", "1"]):
                r = self.kel(args)
                self.assertEqual(r.code, 1, r)
                self.assertIn("Error: 実行 1 はまだ続いています。\n", r.err_text)
            r = self.kel(["-Undo", "list"])
            self.assertIn("     1  実行中", r.out_text)
            for _ in range(51):
                self.assertEqual(self.kel(["-d2021-01-01", other]).code, 0)
            self.assertIn("run-000001.txt", self.journals())
            self.assertNotIn("run-000002.txt", self.journals())
            proc.kill()
            proc.wait(60)
        r = self.kel(["-Undo", "1"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual({p: stamps(p) for p in self.before}, self.before)

    def test_an_interrupt_finishes_the_item_in_hand(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig):
                code, report, journal = self.stopped_run(sig)
                self.assertEqual(code, 130)
                self.assertIn("\nend\t130\tinterrupted\t#", journal)
                # Report, journal and stamps tell the same items.
                changed = {os.path.realpath(p) for p in self.changed()}
                reported = {os.path.realpath(l[len("変更しました。("):-1])
                            for l in report.split("\n") if l.startswith("変更しました。(")}
                self.assertTrue(changed)
                self.assertEqual(reported, changed)
                self.assertEqual(self.journaled(journal), changed)
                self.assertEqual(self.kel(["-Undo"]).code, 0)
                self.assertEqual({p: stamps(p) for p in self.before}, self.before)


if __name__ == "__main__":
    main()
