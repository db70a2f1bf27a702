"""The run as a whole: banner, not-found rule, exit codes, the last-resort report."""

import os
import re
import shutil
import subprocess
import tempfile

from kelvard_cli import (BANNER, EOL, EXE, SEP, WINDOWS, TempDirTestCase, command, main,
                         state_environment, strip_wine_noise, text, wine)

OLD_NS = 1_000_000_000 * 10**9  # 2001-09-09 01:46:40 UTC


def warning(name):
    return text("\nWarn.: ファイル (%s) が見つかりません。\n" % name)


def error(name):
    return text(BANNER + "\nError: ファイル (%s) が見つかりません。\n" % name)


class RunCase(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.config = self.path("config")
        os.makedirs(self.config)
        os.makedirs(self.path("state"))
        # No default options from the caller's registry folder or environment,
        # and a journal of the test's own.
        self.env = dict({"XDG_CONFIG_HOME": self.config, "Kelvard": "", "kelvard": ""},
                        **state_environment(self.path("state")))

    def kel(self, args, **kwargs):
        kwargs.setdefault("env", self.env)
        return self.run_here(args, **kwargs)

    def old_file(self, name):
        return self.make_file(name, mtime_ns=OLD_NS)

    def mtime(self, name):
        return os.stat(self.path(name)).st_mtime_ns


class BannerAndExitCodes(RunCase):
    def test_normal_run(self):
        self.old_file("a.txt")
        self.old_file("b.txt")
        r = self.kel(["a.txt", "b.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.err, text(BANNER))
        self.assertIn(text("(a.txt)\n"), r.out)
        # Both items got the one time taken at the start of the run.
        self.assertNotEqual(self.mtime("a.txt"), OLD_NS)
        self.assertEqual(self.mtime("a.txt"), self.mtime("b.txt"))

    def test_banner_bytes(self):
        r = self.kel(["x"])
        line = "タイムスタンプ変更 <ぽるかん>  version 1.27 (for Win32 console)"
        self.assertTrue(r.err.startswith(line.encode("cp932" if WINDOWS else "utf-8") +
                                         EOL.encode()), r)

    def test_no_arguments_show_the_usage_screen(self):
        r = self.kel([])
        self.assertEqual(r.code, 255, r)
        self.assertEqual(r.err, text(BANNER))
        self.assertNotEqual(r.out, b"")

    def test_wrong_command_line_still_gets_the_banner(self):
        r = self.kel(["-q", "x"])
        self.assertEqual(r.code, 1, r)
        self.assertTrue(r.err.startswith(text(BANNER + "\nError: ")), r)
        self.assertEqual(r.out, b"")


class ExitCodeOfItemsKept(RunCase):
    """0: every selected item was done; 2: the run went to its end, but some
    item kept its stamps; 1: an error; 255: the usage screen."""

    def test_codes_by_outcome(self):
        self.old_file("a.txt")
        os.mkdir(self.path("back"))
        for args, code in ((["a.txt"], 0), (["-v", "a.txt"], 0), (["-g", "x", "a.txt"], 0),
                           (["-e", "a.txt"], 0),
                           (["-swback" + SEP, "a.txt", "x"], 1),
                           (["-swback" + SEP, "a.txt"], 2), ([], 255)):
            with self.subTest(args=args):
                self.assertEqual(self.kel(args).code, code)

    def test_the_run_goes_on_after_an_item_that_could_not_be_changed(self):
        if WINDOWS:
            self.skipTest("a read-only file of the native build")
        self.old_file("a.txt")
        self.old_file("b.txt")
        os.chmod(self.path("a.txt"), 0o444)
        r = self.kel(["a.txt", "b.txt"])
        self.assertEqual(r.code, 2, r)
        self.assertIn(text("Warn.: 変更できませんでした。(a.txt)\n"), r.out)
        self.assertNotEqual(self.mtime("b.txt"), OLD_NS)

    def test_preview_warns_where_the_run_would_fail(self):
        """A read-only file (and, natively, a creation stamp, which cannot be
        set here) is previewed with the warning the run would give, and the
        reason follows on the error stream, naming the item."""
        self.old_file("ro.txt")
        self.old_file("a.txt")
        os.chmod(self.path("ro.txt"), 0o444)
        cases = [(["-v", "ro.txt"], "ro.txt")]
        if not WINDOWS:
            cases.append((["-v", "-c", "a.txt"], "a.txt"))
        for args, name in cases:
            with self.subTest(args=args):
                r = self.kel(args)
                self.assertEqual(r.code, 2, r)
                self.assertIn(text("Warn.: 変更できませんでした。(%s)\n" % name), r.out)
                self.assertNotIn(text("変更されます"), r.out)
                self.assertRegex(r.err, re.escape(text("\n%s: " % name)) + rb"[^\r\n]+" +
                                 re.escape(text("\n")) + b"$")
        self.assertEqual(self.mtime("ro.txt"), OLD_NS)

    def test_a_sub_folder_that_cannot_be_searched(self):
        if WINDOWS:
            self.skipTest("folder permissions of the native build")
        for name in ("a.txt", "locked/b.txt", "open/c.txt"):
            self.old_file(name)
        os.chmod(self.path("locked"), 0)
        self.addCleanup(os.chmod, self.path("locked"), 0o755)
        r = self.run_unprivileged(["-r", "*.txt"], env=self.env)
        self.assertEqual(r.code, 2, r)
        self.assertIn(text("Warn.: フォルダを検索できませんでした。(locked)\n"), r.out)
        self.assertRegex(r.err, re.escape(text("\nlocked: ")) + rb"[^\r\n]+\n")
        self.assertNotEqual(self.mtime("open/c.txt"), OLD_NS, r)
        self.assertNotEqual(self.mtime("a.txt"), OLD_NS)

    def test_an_operand_folder_that_cannot_be_searched(self):
        # Under -g too: -g covers names that do not exist, not folders that refuse.
        if WINDOWS:
            self.skipTest("folder permissions of the native build")
        self.old_file("t/none/a.txt")
        self.old_file("b.txt")
        os.chmod(self.path("t", "none"), 0)
        self.addCleanup(os.chmod, self.path("t", "none"), 0o755)
        for args in (["t/none/*", "b.txt"], ["-g", "t/none/*", "b.txt"], ["t/none/a.txt"]):
            with self.subTest(args=args):
                r = self.run_unprivileged(args, env=self.env)
                self.assertEqual(r.code, 2, r)
                self.assertTrue(r.out.startswith(
                    text("\nWarn.: フォルダを検索できませんでした。(t/none)\n")), r)
                self.assertEqual(r.err, text(BANNER + "t/none: Permission denied\n"))


class NotFound(RunCase):
    def test_missing_operand_is_an_error_after_the_banner(self):
        r = self.kel(["x"])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.err, error("x"))
        self.assertEqual(r.out, b"")

    def test_error_ends_the_loop_and_keeps_earlier_changes(self):
        self.old_file("a.txt")
        self.old_file("b.txt")
        r = self.kel(["a.txt", "x", "b.txt"])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.err, error("x"))
        self.assertNotEqual(self.mtime("a.txt"), OLD_NS)
        self.assertEqual(self.mtime("b.txt"), OLD_NS)

    def test_ignore_warns_and_goes_on(self):
        self.old_file("a.txt")
        r = self.kel(["-g", "x", "a.txt", "y"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.err, text(BANNER))
        self.assertTrue(r.out.startswith(warning("x")), r)
        self.assertTrue(r.out.endswith(warning("y")), r)
        self.assertNotEqual(self.mtime("a.txt"), OLD_NS)

    def test_expert_mode_reads_ignore_per_operand(self):
        self.old_file("z")
        r = self.kel(["-x", "-g", "x", "-g-", "y", "z"])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.out, warning("x"))
        self.assertEqual(r.err, error("y"))
        self.assertEqual(self.mtime("z"), OLD_NS)


class ProgramName(RunCase):
    """The default options are named after the program file, less its last extension."""

    def copy(self, name):
        exe = self.path(name)
        shutil.copy2(EXE, exe)
        return exe

    def test_copy_without_extension(self):
        if WINDOWS:
            self.skipTest("a program file of the Windows build has an extension")
        for file_name, prog_name in (("kvtool", "kvtool"), ("kv.old.bin", "kv.old")):
            with self.subTest(file_name=file_name):
                exe = self.copy(file_name)
                r = self.kel(["x"], exe=exe, env=dict(self.env, **{prog_name: "-g"}))
                self.assertEqual(r.code, 0, r)
                self.assertEqual(r.out, warning("x"))

    def test_only_the_last_extension_goes(self):
        if not WINDOWS:
            self.skipTest("registry keys of the Windows build")
        key = "HKCU\\software\\Varnhold\\Kv.Copy"
        wine(["reg", "delete", key, "/f"])
        self.addCleanup(wine, ["reg", "delete", key, "/f"])
        r = wine(["reg", "add", key, "/v", "DefaultOption", "/d", "-g", "/f"])
        self.assertEqual(r.code, 0, r)
        exe = self.copy("Kv.Copy.exe")
        r = self.kel(["x"], exe=exe)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out, warning("x"))


class FailedOutput(RunCase):
    """A write of the output that fails is an error with the system's reason."""

    def run_with_output(self, stdout):
        with tempfile.TemporaryFile() as err:
            env = dict(os.environ, **self.env)
            proc = subprocess.run(command(["-g", "x"]), cwd=self.dir, env=env, stdout=stdout,
                                  stderr=err, stdin=subprocess.DEVNULL, timeout=120)
            err.seek(0)
            return proc.returncode, strip_wine_noise(err.read())

    def test_failed_write_to_the_standard_output(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        with open("/dev/full", "wb") as full:
            code, data = self.run_with_output(full)
        self.assert_write_failure_report(code, data)

    def test_standard_output_whose_reader_has_gone(self):
        reader, writer = os.pipe()
        os.close(reader)
        try:
            code, data = self.run_with_output(writer)
        finally:
            os.close(writer)
        self.assert_write_failure_report(code, data)

    def assert_write_failure_report(self, code, data):
        self.assertEqual(code, 1, data)
        self.assertTrue(data.startswith(text(BANNER)), data)
        report = data[len(text(BANNER)):]
        pattern = (re.escape(text("\nError: 出力を書き込めませんでした。\n標準出力: ")) +
                   b"[^\r\n]+" + re.escape(text("\n")) + b"$")
        self.assertRegex(report, pattern)


if __name__ == "__main__":
    main()
