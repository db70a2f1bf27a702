"""The journal and -Undo on real files: every stamp comes back exactly, also
after a run that was killed; items changed since the run keep their stamps;
an interrupt leaves report, journal and stamps telling the same."""

import os
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import unittest

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
