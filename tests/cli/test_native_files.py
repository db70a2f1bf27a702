"""Native build on real files: deep trees, stamps left alone, items that must
never be opened, and writes past the file-size limit."""

import errno
import os
import re
import resource
import shutil
import subprocess
import tempfile
import unittest

from kelvard_cli import WINDOWS, TempDirTestCase, command, isolated_environment, main, text

OLD_NS = 1000000000 * 10**9 + 123456789  # 2001-09-09, with every nanosecond digit
NAME = "n" * 120  # 41 levels of these are deeper than 4,096 bytes of path
LEVELS = 41


def leave_in_files(limit):
    """A child set-up that limits the size of files the program may write."""
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


@unittest.skipIf(WINDOWS, "the native build's file layer")
class NativeFiles(TempDirTestCase):
    def deep_tree(self, levels=LEVELS):
        """deep/n.../n.../... `levels` levels, a file f.txt in each; returns the
        descriptor of the deepest folder (no path that long can be opened)."""
        return self.deep_folders(levels)[-1]

    def deep_folders(self, levels):
        """The tree of deep_tree; returns the descriptors of all its folders."""
        fd = os.open(self.dir, os.O_RDONLY)
        os.mkdir("deep", dir_fd=fd)
        names = ["deep"] + [NAME] * levels
        folders = []
        for i, name in enumerate(names):
            if i > 0:
                os.mkdir(name, dir_fd=fd)
            inner = os.open(name, os.O_RDONLY, dir_fd=fd)
            if i == 0:
                os.close(fd)
            fd = inner
            folders.append(fd)
            self.addCleanup(os.close, fd)
            os.close(os.open("f.txt", os.O_CREAT | os.O_WRONLY, dir_fd=fd))
            os.utime("f.txt", ns=(OLD_NS, OLD_NS), dir_fd=fd)
        return folders

    def test_a_tree_deeper_than_a_path_can_be(self):
        deepest = self.deep_tree()
        r = self.run_here(["-r", "-d2020-01-01", os.path.join("deep", "*.txt")])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更しました。("), LEVELS + 1, r)
        self.assertNotEqual(os.stat("f.txt", dir_fd=deepest).st_mtime_ns, OLD_NS)

        # Restore lines from a working folder that deep name the files there.
        def enter():
            os.fchdir(deepest)
        os.utime("f.txt", ns=(OLD_NS, OLD_NS), dir_fd=deepest)
        proc = subprocess.run([os.environ["KELVARD_EXE"], "-e", "-zs7", "-w", "f.txt"],
                              preexec_fn=enter, capture_output=True,
                              env=dict(isolated_environment(), TZ="UTC", XDG_CONFIG_HOME=self.dir))
        self.assertEqual(proc.returncode, 0, proc)
        line = proc.stdout.decode()
        path = line.split(" ", 4)[4].rstrip("\n")
        self.assertEqual(path, os.path.join(os.path.realpath(self.dir), "deep",
                                            *([NAME] * LEVELS), "f.txt"))
        self.assertIn("-d:2001-09-09 -t:01:46:40.1234567", line)

    def test_any_depth_under_a_low_descriptor_limit(self):
        # 1,000 levels with a file in each, walked whole by a process that may
        # hold 32 files open; -e as well, which names every folder's real path.
        self.addCleanup(subprocess.run, ["rm", "-rf", self.path("d")])
        fd = os.open(self.dir, os.O_RDONLY)
        for _ in range(1000):
            os.mkdir("d", dir_fd=fd)
            inner = os.open("d", os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = inner
            os.close(os.open("f.txt", os.O_CREAT | os.O_WRONLY, dir_fd=fd))
        os.close(fd)

        def limit():
            resource.setrlimit(resource.RLIMIT_NOFILE, (32, 32))
        for args, done in ((["-r", "-d2020-01-01"], "変更しました。("),
                           (["-e", "-r"], "作成しました。(")):
            proc = subprocess.run([os.environ["KELVARD_EXE"]] + args + [os.path.join("d", "*.txt")],
                                  cwd=self.dir, preexec_fn=limit, capture_output=True,
                                  env=dict(isolated_environment(), XDG_CONFIG_HOME=self.dir))
            self.assertEqual(proc.returncode, 0, proc.stderr[-400:])
            shown = (proc.stdout + proc.stderr).decode()
            self.assertEqual(shown.count(done), 1000, args)

    def test_restore_lines_deeper_than_a_path_can_be_read_back(self):
        folders = self.deep_folders(50)  # about 6,000 bytes of path
        saved = [1262304000 * 10**9 + i * 10**9 for i in range(len(folders))]  # whole seconds
        for fd, stamp in zip(folders, saved):
            os.utime("f.txt", ns=(stamp, stamp), dir_fd=fd)
        r = self.run_here(["-e", "-r", "-w", "-a", os.path.join("deep", "*.txt")],
                          env={"TZ": "UTC"})
        self.assertEqual(r.code, 0, r.err_text[-500:])
        with open(self.path("r.txt"), "wb") as lines:
            lines.write(r.out)
        self.assertEqual(r.out.count(b"\n"), 2 * len(folders))
        for fd in folders:
            os.utime("f.txt", ns=(OLD_NS, OLD_NS), dir_fd=fd)

        r = self.run_here(["@r.txt"], env={"TZ": "UTC"})
        self.assertEqual(r.code, 0, r.err_text[-500:])
        self.assertEqual(r.out_text.count("変更しました。("), 2 * len(folders))
        kept = [(os.stat("f.txt", dir_fd=fd).st_mtime_ns, os.stat("f.txt", dir_fd=fd).st_atime_ns)
                for fd in folders]
        self.assertEqual(kept, [(stamp, stamp) for stamp in saved])

    def test_a_stamp_not_asked_for_keeps_every_digit(self):
        self.make_file("a.txt")
        for switch, kept in (("-w", "st_atime_ns"), ("-a", "st_mtime_ns")):
            os.utime(self.path("a.txt"), ns=(OLD_NS, OLD_NS))
            r = self.run_here([switch, "-d2020-01-01", "a.txt"])
            self.assertEqual(r.code, 0, r)
            self.assertEqual(getattr(os.stat(self.path("a.txt")), kept), OLD_NS, switch)

    def test_items_that_are_never_opened(self):
        # A FIFO without a reader, and a program that is running.
        os.mkfifo(self.path("p.fifo"))
        shutil.copy("/bin/sleep", self.path("sleeper"))
        os.utime(self.path("sleeper"), ns=(OLD_NS, OLD_NS))
        sleeper = subprocess.Popen([self.path("sleeper"), "30"])
        self.addCleanup(sleeper.wait)
        self.addCleanup(sleeper.kill)
        r = self.run_here(["-d2020-01-01", "p.fifo", "sleeper"], timeout=20)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out_text.count("変更しました。("), 2, r)
        self.assertNotEqual(os.stat(self.path("sleeper")).st_mtime_ns, OLD_NS)

    def test_copies_and_shifts_keep_every_nanosecond(self):
        # Digits below 100 ns go with a value copied or shifted: a tree copied
        # with -ss: is as new as its original, to the nanosecond.
        ns = OLD_NS + 42  # ends in ...831
        self.make_file("orig", "a.txt", mtime_ns=ns)
        os.utime(self.path("orig", "a.txt"), ns=(ns + 7, ns))
        self.make_file("copy", "a.txt", mtime_ns=10**18)
        self.make_file("b.txt", mtime_ns=ns)
        cases = [
            (["-ss:orig/", "-w", "-a", "copy/*"], "copy/a.txt", (ns + 7, ns)),
            (["-sw", "b.txt"], "b.txt", (None, ns)),
            (["-sw", "-t+1", "b.txt"], "b.txt", (None, ns + 3600 * 10**9)),
            (["-sw:orig/a.txt", "b.txt"], "b.txt", (None, ns)),
        ]
        for args, name, (atime, mtime) in cases:
            with self.subTest(args=args):
                os.utime(self.path("b.txt"), ns=(ns, ns))
                r = self.run_here(args)
                self.assertEqual(r.code, 0, r)
                info = os.stat(self.path(name))
                self.assertEqual(info.st_mtime_ns, mtime)
                if atime is not None:
                    self.assertEqual(info.st_atime_ns, atime)

    def test_a_counterpart_is_named_by_the_items_own_name(self):
        # "*" and "?" of a name are the name's own: no other file's stamp.
        for name in ("a*b.txt", "q?.txt"):
            self.make_file("copy", name, mtime_ns=OLD_NS)
        for name in ("aXb.txt", "qZ.txt"):
            self.make_file("orig", name, mtime_ns=10**18)
        r = self.run_here(["-ss:orig/", "copy/*"])
        self.assertEqual(r.code, 2, r)
        self.assertEqual(r.out_text.count("Warn.: コピー元ファイルが見つかりません。("), 2, r)
        for name in ("a*b.txt", "q?.txt"):
            self.assertEqual(os.stat(self.path("copy", name)).st_mtime_ns, OLD_NS, name)
        # With a counterpart of that very name, that one.
        self.make_file("orig", "a*b.txt", mtime_ns=2 * 10**18)
        self.assertEqual(self.run_here(["-ss:orig/", "copy/a*b.txt"]).code, 0)
        self.assertEqual(os.stat(self.path("copy", "a*b.txt")).st_mtime_ns, 2 * 10**18)

    def test_restore_lines_of_creation_stamps_that_cannot_be_set(self):
        # Linux sets no creation stamp: such a line would fail whenever it is
        # read back. The item gets its other lines and a warning.
        self.make_file("a.txt", mtime_ns=OLD_NS)
        r = self.run_here(["-e", "-w", "-c", "a.txt"])
        self.assertEqual(r.code, 2, r)
        self.assertEqual([line.split(" ")[0] for line in r.out.decode().splitlines()], ["-ixgw"])
        reason = ("Warn.: 作成日時の復元設定は作成できません。(a.txt)\n"
                  "a.txt: このシステムでは作成日時を設定できません (Operation not supported)\n")
        self.assertIn(reason + "作成しました。(a.txt)\n", r.err_text)
        # Only the creation stamp: no line at all, and the same warning.
        r = self.run_here(["-e", "-c", "a.txt"])
        self.assertEqual((r.code, r.out), (2, b""), r)
        self.assertIn(reason, r.err_text)

    def test_writes_past_the_file_size_limit(self):
        # The limit falls inside a line: the file keeps whole lines only, each
        # naming an item in full, and the run says that it is incomplete.
        for i in range(40):
            self.make_file("file_%04d.txt" % i)
        limit = 1000
        with open(self.path("lines"), "wb") as out:
            proc = subprocess.run([os.environ["KELVARD_EXE"], "-e", "file_*.txt"], cwd=self.dir,
                                  stdout=out, stderr=subprocess.PIPE,
                                  preexec_fn=leave_in_files(limit),
                                  env=dict(isolated_environment(), XDG_CONFIG_HOME=self.path("config")))
        self.assertEqual(proc.returncode, 1, proc)
        self.assertIn("\nError: 復元設定を書き込めませんでした。書き込まれた復元設定は不完全です。\n"
                      "標準出力: File too large\n".encode(), proc.stderr)
        with open(self.path("lines"), "rb") as f:
            kept = f.read()
        self.assertTrue(0 < len(kept) < limit and kept.endswith(b"\n"), kept)
        for line in kept.decode().splitlines():
            self.assertTrue(os.path.exists(line.split(" ", 4)[4]), line)
        # The default options: the registry write fails and leaves nothing behind.
        proc = subprocess.run([os.environ["KELVARD_EXE"], "-DefOpt", "-a"], cwd=self.dir,
                              capture_output=True, preexec_fn=leave_in_files(0),
                              env=dict(isolated_environment(), XDG_CONFIG_HOME=self.path("config")))
        self.assertEqual(proc.returncode, 1, proc)
        self.assertIn("の設定に失敗しました".encode(), proc.stderr)
        left = [name for _, _, names in os.walk(self.path("config")) for name in names]
        self.assertFalse([name for name in left if name.startswith(".tmp-")], left)


@unittest.skipIf(WINDOWS, "the native build's file layer")
class KnownRefusals(TempDirTestCase):
    """Items whose stamps the system is known to refuse before any write: the
    preview warns as the run does, the reason follows, and nothing changes."""

    def chattr(self, flag, path):
        """Sets an attribute such as +i; False where the file system or the
        rights do not allow it."""
        if not shutil.which("chattr"):
            return False
        if subprocess.run(["chattr", "+" + flag, path], capture_output=True).returncode != 0:
            return False
        self.addCleanup(subprocess.run, ["chattr", "-" + flag, path], capture_output=True)
        return True

    def attribute_file(self, flag, name):
        """A file with the attribute `flag`, in the test's folder or, where its
        file system keeps no such attributes (tmpfs), in one under the build
        tree; its path from the test's folder, or None where neither works."""
        for parent in (self.dir, os.path.dirname(os.path.abspath(os.environ["KELVARD_EXE"]))):
            folder = tempfile.mkdtemp(prefix="kelvard-attr-", dir=parent)
            self.addCleanup(shutil.rmtree, folder, True)
            path = os.path.join(folder, name)
            with open(path, "wb"):
                pass
            os.utime(path, ns=(OLD_NS, OLD_NS))
            if self.chattr(flag, path):
                return os.path.relpath(path, self.dir)
        return None

    def read_only_mount(self, name):
        """A file on a file system mounted read-only; False where mounting is not allowed."""
        os.mkdir(self.path("ro"))
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", self.path("ro")],
                          capture_output=True).returncode != 0:
            return False
        self.addCleanup(subprocess.run, ["umount", "-l", self.path("ro")], capture_output=True)
        self.make_file("ro", name, mtime_ns=OLD_NS)
        return subprocess.run(["mount", "-o", "remount,ro", self.path("ro")],
                              capture_output=True).returncode == 0

    def other_owner(self, name):
        """Another owner's file and a command prefix that runs the program as a
        user without the right to set its stamps; None where no user can be switched to."""
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            return None
        self.make_file(name, mtime_ns=OLD_NS)
        os.chmod(self.path(name), 0o666)  # writable by all: only the owner may set its stamps
        os.chmod(self.dir, 0o755)
        return ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]

    def test_each_known_refusal_in_preview_and_run(self):
        os.symlink("missing-target", self.path("dangling"))
        os.utime(self.path("dangling"), ns=(OLD_NS, OLD_NS), follow_symlinks=False)
        # Each row: what the operand is, the reason the system gives, and how
        # it is made (the item's path and a command prefix; None: it cannot be here).
        rows = [
            ("immutable file", errno.EPERM,
             lambda: (self.attribute_file("i", "immutable.txt"), []),
             "chattr +i works nowhere here (needs root and a file system that keeps it)"),
            ("append-only file", errno.EPERM,
             lambda: (self.attribute_file("a", "append.txt"), []),
             "chattr +a works nowhere here (needs root and a file system that keeps it)"),
            ("another owner's file", errno.EPERM,
             lambda: ("other.txt", self.other_owner("other.txt")),
             "no user to switch to (needs root and setpriv)"),
            ("file on a read-only mount", errno.EROFS,
             lambda: ("ro/f.txt", [] if self.read_only_mount("f.txt") else None),
             "no read-only mount can be made here (needs root)"),
            ("link whose target is missing", errno.ENOENT, lambda: ("dangling", []), ""),
        ]
        os.mkdir(self.path("config"))
        for row, (what, code, prepare, why_not) in enumerate(rows):
            with self.subTest(item=what):
                name, prefix = prepare()
                if name is None or prefix is None:
                    self.skipTest(why_not)
                # A journal of the row's own, in a folder of the user the row
                # runs as (no one else may write a state folder).
                state = self.path("state%d" % row)
                os.mkdir(state, 0o700)
                if prefix:
                    os.chown(state, 65534, 65534)
                env = dict(os.environ, XDG_CONFIG_HOME=self.path("config"), XDG_STATE_HOME=state,
                           TZ="UTC")
                for preview in (["-v"], []):
                    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
                        result = subprocess.run(prefix + command(preview + ["-w", "-a", name]),
                                                cwd=self.dir, stdout=out, stderr=err, env=env,
                                                timeout=60).returncode
                        out.seek(0)
                        err.seek(0)
                        r_out, r_err = out.read(), err.read()
                    self.assertEqual(result, 2, (preview, r_out, r_err))
                    self.assertIn(text("Warn.: 変更できませんでした。(%s)\n" % name), r_out)
                    self.assertNotIn(text("変更されます"), r_out)
                    self.assertRegex(r_err, re.escape(text("\n%s: %s\n" % (name,
                                                                           os.strerror(code)))))
                    info = os.stat(self.path(name), follow_symlinks=False)
                    self.assertEqual(info.st_mtime_ns, OLD_NS)
                    # The system itself reads a link's access stamp whenever it follows it.
                    if name != "dangling":
                        self.assertEqual(info.st_atime_ns, OLD_NS)


if __name__ == "__main__":
    main()
