"""Native build on real files: deep trees, stamps left alone, items that must
never be opened, and writes past the file-size limit."""

import os
import resource
import shutil
import subprocess
import unittest

from kelvard_cli import WINDOWS, TempDirTestCase, main

OLD_NS = 1000000000 * 10**9 + 123456789  # 2001-09-09, with every nanosecond digit
NAME = "n" * 120  # 41 levels of these are deeper than 4,096 bytes of path
LEVELS = 41


def leave_in_files(limit):
    """A child set-up that limits the size of files the program may write."""
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


@unittest.skipIf(WINDOWS, "the native build's file layer")
class NativeFiles(TempDirTestCase):
    def deep_tree(self):
        """deep/n.../n.../... LEVELS levels, a file f.txt in each; returns the
        descriptor of the deepest folder (no path that long can be opened)."""
        fd = os.open(self.dir, os.O_RDONLY)
        os.mkdir("deep", dir_fd=fd)
        names = ["deep"] + [NAME] * LEVELS
        for i, name in enumerate(names):
            if i > 0:
                os.mkdir(name, dir_fd=fd)
            inner = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = inner
            os.close(os.open("f.txt", os.O_CREAT | os.O_WRONLY, dir_fd=fd))
            os.utime("f.txt", ns=(OLD_NS, OLD_NS), dir_fd=fd)
        self.addCleanup(os.close, fd)
        return fd

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
                              env=dict(os.environ, TZ="UTC", XDG_CONFIG_HOME=self.dir))
        self.assertEqual(proc.returncode, 0, proc)
        line = proc.stdout.decode()
        path = line.split(" ", 3)[3].rstrip("\n")
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
                                  env=dict(os.environ, XDG_CONFIG_HOME=self.dir))
            self.assertEqual(proc.returncode, 0, proc.stderr[-400:])
            shown = (proc.stdout + proc.stderr).decode()
            self.assertEqual(shown.count(done), 1000, args)

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
        self.assertIn("Warn.: 作成日時の復元設定は作成できません。(a.txt)\n"
                      "a.txt: Operation not supported\n作成しました。(a.txt)\n", r.err_text)
        # Only the creation stamp: no line at all.
        r = self.run_here(["-e", "-c", "a.txt"])
        self.assertEqual((r.code, r.out), (2, b""), r)
        self.assertIn("Warn.: 復元設定を作成できませんでした。(a.txt)\n", r.err_text)

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
                                  env=dict(os.environ, XDG_CONFIG_HOME=self.path("config")))
        self.assertEqual(proc.returncode, 1, proc)
        self.assertIn("\nError: 復元設定を書き込めませんでした。書き込まれた復元設定は不完全です。\n"
                      "標準出力: File too large\n".encode(), proc.stderr)
        with open(self.path("lines"), "rb") as f:
            kept = f.read()
        self.assertTrue(0 < len(kept) < limit and kept.endswith(b"\n"), kept)
        for line in kept.decode().splitlines():
            self.assertTrue(os.path.exists(line.split(" ", 3)[3]), line)
        # The default options: the registry write fails and leaves nothing behind.
        proc = subprocess.run([os.environ["KELVARD_EXE"], "-DefOpt", "-a"], cwd=self.dir,
                              capture_output=True, preexec_fn=leave_in_files(0),
                              env=dict(os.environ, XDG_CONFIG_HOME=self.path("config")))
        self.assertEqual(proc.returncode, 1, proc)
        self.assertIn("の設定に失敗しました".encode(), proc.stderr)
        left = [name for _, _, names in os.walk(self.path("config")) for name in names]
        self.assertFalse([name for name in left if name.startswith(".tmp-")], left)


if __name__ == "__main__":
    main()
