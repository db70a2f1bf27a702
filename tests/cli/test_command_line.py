"""The command line: option sources, quoting, response files, default options,
option errors, and that a faulty command line changes nothing on disk."""

import os
import shutil
import unittest

from kelvard_cli import (BANNER, ENCODING, EOL, EXE, WINDOWS, TempDirTestCase, main, run, text,
                         wine)

# The environment variable of the default option string is named after the program file.
PROG_ENV = "Kelvard" if WINDOWS else "kelvard"


def warnings(*names):
    """The standard output of a -g run in which none of the operands exists."""
    return text("".join("\nWarn.: ファイル (%s) が見つかりません。\n" % n for n in names))


# A stamp that no run of the tests gives: 2001-02-03 04:05:06 UTC.
OTHER_NS = 981173106 * 10**9


def error(message):
    return text(BANNER + "\nError: " + message + "。\n")


class CommandLineCase(TempDirTestCase):
    def setUp(self):
        super().setUp()
        # A configuration folder of its own (the native registry) and no
        # default options from the caller's environment.
        self.config = self.path("config")
        os.makedirs(self.config)

    def env(self, default=None, name=PROG_ENV):
        env = {"XDG_CONFIG_HOME": self.config, PROG_ENV: ""}
        if default is not None:
            env[name] = default
        return env

    def kel(self, args, default=None, **kwargs):
        kwargs.setdefault("env", self.env(default))
        return self.run_here(args, **kwargs)

    def write(self, name, content):
        with open(self.path(name), "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode(ENCODING))

    def assertWarnings(self, result, *names):
        self.assertEqual(result.code, 0, result)
        self.assertEqual(result.out, warnings(*names))
        self.assertEqual(result.err, text(BANNER))

    def assertError(self, result, message, cause=None):
        """The error line, then at most one line naming the cause (`cause`
        when given)."""
        self.assertEqual(result.code, 1, result)
        head = error(message)
        self.assertEqual(result.err[:len(head)], head, result)
        rest = result.err[len(head):]
        if cause is not None:
            self.assertEqual(rest, text(cause + "\n"))
        else:
            self.assertLessEqual(rest.count(EOL.encode()), 1, result)
            self.assertTrue(rest == b"" or rest.endswith(EOL.encode()), result)
        self.assertEqual(result.out, b"")


class OptionErrors(CommandLineCase):
    def test_faulty_switches(self):
        for args in (["-q", "x"], ["-", "x"], ["-s", "x"], ["-f:2", "x"], ["-f4", "x"],
                     ["-zs8", "x"], ["-zs-1", "x"], ["-zd3", "x"], ["-zr", "-z", "x"],
                     ["-r1", "x"], ["-i+", "x"], ["x", "-q"]):
            with self.subTest(args=args):
                self.assertError(self.kel(args), "オプションに誤りがあります")

    def test_each_bad_word_is_named_with_what_is_wrong(self):
        """The error and its cause line for each faulty word; nothing changes."""
        self.make_file("a.txt", mtime_ns=OTHER_NS)
        help_hint = "Kelvard /?" if WINDOWS else "kelvard --help"
        zone = "UTC オフセットは -12:00 から +14:00 までです"
        option, datetime = "オプションに誤りがあります", "日時の指定に誤りがあります"
        rows = [
            (["-zo+25:00", "a.txt"], option, "-zo+25:00: " + zone),
            (["-zo+99:59", "a.txt"], option, "-zo+99:59: " + zone),
            (["-zo-12:01", "a.txt"], option, "-zo-12:01: " + zone),
            (["-zo+14:01", "a.txt"], option, "-zo+14:01: " + zone),
            (["-h", "a.txt"], option, "-h: 不明なスイッチです (使い方は %s で表示されます)" % help_hint),
            (["-help", "a.txt"], option,
             "-help: 不明なスイッチです (使い方は %s で表示されます)" % help_hint),
            (["-tx", "a.txt"], datetime, "a.txt: -tx: 時刻として読めません (例: -t12:00)"),
            (["-t:", "a.txt"], datetime, "a.txt: -t:: 時刻として読めません (例: -t12:00)"),
            (["-t", "a.txt"], datetime, "a.txt: -t: 時刻として読めません (例: -t12:00)"),
            (["-d2011-03-15T12:00", "a.txt"], datetime,
             "a.txt: -d2011-03-15T12:00: 日付として読めません (例: -d2011-03-15)"),
            (["-d2011-02-31", "a.txt"], datetime,
             "a.txt: 2011-02-31 00:00:00 という日時はありません (-d2011-02-31)"),
            (["-d2011-03-15", "-t25:00", "a.txt"], datetime,
             "a.txt: 2011-03-15 25:00:00 という日時はありません (-d2011-03-15 -t25:00)"),
        ]
        if WINDOWS:
            rows.append((["/h", "a.txt"], option,
                         "/h: 不明なスイッチです (使い方は Kelvard /? で表示されます)"))
        for args, message, cause in rows:
            with self.subTest(args=args):
                self.assertError(self.kel(args), message, cause)
                self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, OTHER_NS)
        # Offsets at the ends of the range are read.
        for offset in ("-12:00", "+14:00"):
            self.assertEqual(self.kel(["-v", "-zo" + offset, "-d2011-03-15", "a.txt"]).code, 0)

    def test_zu_reaches_every_line(self):
        # Wherever -zu stands (the command line, a response file, the default
        # options), errors and the usage screen come out in UTF-8 too.
        self.write("r.txt", "-zu -q x\n")
        utf8 = lambda s: s.replace("\n", EOL).encode("utf-8")
        for args, default in ((["-zu", "-q", "x"], None), (["@r.txt"], None),
                              (["-q", "x"], "-zu")):
            with self.subTest(args=args, default=default):
                r = self.kel(args, default=default)
                self.assertEqual(r.code, 1, r)
                self.assertIn(utf8("\nError: オプションに誤りがあります。\n"), r.err)
                self.assertIn(utf8("-q: 不明なスイッチです"), r.err)
        r = self.kel(["-zu", "-?"])
        self.assertEqual(r.code, 255, r)
        self.assertIn(utf8("使い方: Kelvard [オプション] <ファイル名> ..."), r.out)
        # A later -zu0 takes it back.
        r = self.kel(["-zu", "-zu0", "-q", "x"])
        self.assertIn(text("\nError: オプションに誤りがあります。\n"), r.err)

    def test_the_cause_names_the_word_and_what_is_wrong(self):
        rows = [(["-q", "x"], "-q: 不明なスイッチです"),
                (["-zs9", "x"], "-zs9: -zs の値は 0 から 7 までです"),
                (["-wb", "x"], "-wb の -b: 不明なスイッチです")]
        if not WINDOWS:
            rows.append((["--bogus", "x"],
                         "--bogus: 不明なスイッチです (使い方は kelvard --help で表示されます)"))
        for args, cause in rows:
            with self.subTest(args=args):
                self.assertError(self.kel(args), "オプションに誤りがあります", cause)

    def test_no_file_operand(self):
        for args in (["-w"], [";"], ["-zd", ";", ";;"]):
            with self.subTest(args=args):
                self.assertError(self.kel(args), "ファイル名を指定してください")

    def test_no_stamp_kind(self):
        for args in (["-w", "-w", "x"], ["-w-", "x"], ["-c", "-c", "x"]):
            with self.subTest(args=args):
                self.assertError(self.kel(args), "タイムスタンプ変更の指定がありません")

    def test_unreadable_relative_time(self):
        for args in (["-t+1:2:3:4:5", "x"], ["-t-x", "x"], ["-t+0:0:0.12345678", "x"]):
            with self.subTest(args=args):
                self.assertError(self.kel(args), "日時の指定に誤りがあります")

    def test_numbers_too_large_for_their_field_change_nothing(self):
        self.write("a.txt", "")
        os.utime(self.path("a.txt"), ns=(10**18, 10**18))
        for args in (["-t+65536:00"], ["-t-99999:00"], ["-d65536-1-1"], ["-t12:65536"],
                     ["-dx", "-d1-1-99999"]):
            with self.subTest(args=args):
                self.assertError(self.kel(args + ["a.txt"]), "日時の指定に誤りがあります")
                self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, 10**18)

    def test_unreadable_response_file_comes_before_option_errors(self):
        self.assertError(self.kel(["-q", "@missing.txt"]),
                         "レスポンスファイル (missing.txt) が開けません")
        self.assertError(self.kel(["@", "x"]), "レスポンスファイル () が開けません")
        os.makedirs(self.path("folder"))
        self.assertError(self.kel(["@folder"]), "レスポンスファイル (folder) が開けません")

    def test_slash_prefix(self):
        if WINDOWS:
            self.assertWarnings(self.kel(["/g", "x"]), "x")
            self.assertError(self.kel(["/", "x"]), "オプションに誤りがあります")
        else:
            # Natively a "/" token is a path, not a switch.
            self.assertError(self.kel(["/g"]), "ファイル (/g) が見つかりません")


class Operands(CommandLineCase):
    def test_commas_and_blanks_stay_in_an_argument(self):
        self.assertWarnings(self.kel(["-g", "a b.txt", "c,d.txt"]), "a b.txt", "c,d.txt")

    def test_semicolons_split_and_share_the_folder(self):
        sep = "\\" if WINDOWS else "/"
        self.assertWarnings(self.kel(["-g", "d%sa.txt;b.txt;;c d.txt;" % sep]),
                            "d%sa.txt" % sep, "d%sb.txt" % sep, "d%sc d.txt" % sep)
        self.assertWarnings(self.kel(["-g", "-zd0", "a;b", "-zd1", "c;d"]), "a;b", "c", "d")

    def test_only_semicolons_cut_a_name(self):
        # Line breaks, tabs, DEL and blanks around a ";" all belong to the names.
        names = ["a\x7fb", " c"] + ([] if WINDOWS else ["x\ny", "t\tu"])
        decoys = ["a b", "c"] + ([] if WINDOWS else ["x", "y", "t", "u"])
        for name in names + decoys:
            self.write(name, "")
            os.utime(self.path(name), ns=(10**18, 10**18))
        r = self.kel([";".join(names)])
        self.assertEqual(r.code, 0, r)
        for name in names:
            self.assertNotEqual(os.stat(self.path(name)).st_mtime_ns, 10**18, name)
        for name in decoys:
            self.assertEqual(os.stat(self.path(name)).st_mtime_ns, 10**18, name)

    def test_double_byte_names(self):
        # The second byte of ソ in code page 932 is a backslash: it is no folder end.
        self.assertWarnings(self.kel(["-g", "ソ.txt;b.txt", "表\\;x"] if WINDOWS
                                     else ["-g", "ソ.txt;b.txt"]),
                            *(["ソ.txt", "b.txt", "表\\", "表\\x"] if WINDOWS
                              else ["ソ.txt", "b.txt"]))

    @unittest.skipUnless(WINDOWS, "the Windows command-line rule")
    def test_windows_rule_has_no_escape_character(self):
        # Wine writes the arguments a"b c and d as "a\"b c" d; cut by the
        # program's own rule the backslash stays, the quote after it closes
        # the stretch, and the last quote opens one that runs to the end.
        self.assertWarnings(self.kel(["-g", 'a"b c', "d"]), "a\\b", "c d")
        # An empty quoted argument is no argument at all.
        self.assertWarnings(self.kel(["-g", "", "x"]), "x")


class ResponseFiles(CommandLineCase):
    def test_quoting_cases(self):
        self.write("r.txt",
                   '-g a,b.txt "c,d.txt"\r\n'
                   '"x y.txt" "q""t.txt" @inner.txt\n'
                   '"semi;colon.txt"\r'
                   '"e"f  ,  , g\r\n'
                   '"open end\r\n')
        # A quote that is not closed runs to the end of the text, line end included.
        self.assertWarnings(self.kel(["@r.txt"]), "a", "b.txt", "c,d.txt", "x y.txt", 'q"t.txt',
                            "@inner.txt", "semi", "colon.txt", "e", "f", "g", "open end\n")

    def test_combined_switches_and_line_breaks(self):
        self.write("r.txt", "-ixg\r\n\"sub dir%sf.txt\"\r\n" % ("\\" if WINDOWS else "/"))
        sep = "\\" if WINDOWS else "/"
        self.assertWarnings(self.kel(["@r.txt"]), "sub dir%sf.txt" % sep)

    def test_what_users_write_is_read_and_a_cut_restore_line_is_not(self):
        """Each row: the response file's bytes, the exit code, the lines the
        standard output holds in that order, and the error stream's last line
        (None: no error)."""
        def utf16(s):
            return b"\xff\xfe" + s.encode("utf-16-le")
        restore = b"-ixgw -zo+09:00 -d:2011-03-15 -t:12:00:00.0000000 /x/a"
        cut = "Warn.: 改行で終わっていない最後の行は読み込みませんでした。(r.txt の %d 行目)"
        rows = [
            # What Notepad saves and `printf` writes: the last line lacks its line end.
            ("notepad", b"-g\r\nx.txt", 0, ["x.txt"], None),
            ("usage alone", b"-?", 255, ["使い方: Kelvard [オプション] <ファイル名> ..."], None),
            ("ends at a NUL", b"-g x.txt\0", 0, ["x.txt"], None),
            ("zero-filled tail", b"-g x.txt\n\0\0\r\n\0", 0, ["x.txt"], None),
            ("text after a NUL", b"-g x.txt\n\0 -q y.txt", 2,
             ["Warn.: NUL 文字の後ろは読み込みませんでした。(r.txt の 2 行目)", "x.txt"], None),
            ("open quote mid-file", b'-g "x.txt\r\ny.txt\r\n', 1, [],
             'r.txt の 1 行目: -g "x.txt'),
            ("open quote at the end", b'-g x.txt "y z', 0, ["x.txt", "y z"], None),
            ("cut restore line alone", restore, 1, [cut % 1], None),
            ("cut restore line after whole lines", b"-g\nx.txt\n" + restore, 2,
             [cut % 3, "x.txt"], None),
            ("UTF-16 without its last CR LF", utf16("-g\r\nx.txt"), 0, ["x.txt"], None),
            ("UTF-16 with its last CR LF", utf16("-g\r\nx.txt\r\n"), 0, ["x.txt"], None),
        ]
        for name, content, code, out, err in rows:
            with self.subTest(name):
                self.write("r.txt", content)
                r = self.kel(["@r.txt"])
                self.assertEqual(r.code, code, r)
                at = 0
                for line in out:
                    if not line.startswith(("Warn.:", "使い方:")):
                        line = "Warn.: ファイル (%s) が見つかりません。" % line
                    found = r.out_text.find(line + "\n", at)
                    self.assertGreaterEqual(found, at, (line, r))
                    at = found
                if err is not None:
                    self.assertTrue(r.err_text.endswith(err + "\n"), r)
                if code == 1 and out:
                    # The refused line is told ahead of the error that ends the run.
                    self.assertIn("Error: ファイル名を指定してください。", r.err_text)

    def test_a_restore_line_cut_in_its_path_stamps_nothing(self):
        self.make_file("f_1", mtime_ns=OTHER_NS)
        self.write("r.txt", "-g -d2011-03-15 x.txt\n-ixgw -d2011-03-15 %s"
                   % self.path("f_1628")[:-3])
        r = self.kel(["@r.txt"])
        self.assertEqual(r.code, 2, r)
        self.assertEqual(os.stat(self.path("f_1")).st_mtime_ns, OTHER_NS)
        # A hand-written last line is read: the Notepad user's file stamps a.txt.
        self.make_file("a.txt", mtime_ns=OTHER_NS)
        self.write("r.txt", "a.txt")
        r = self.kel(["-d2011-03-15", "@r.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertNotEqual(os.stat(self.path("a.txt")).st_mtime_ns, OTHER_NS)

    def test_sources_in_order(self):
        self.write("r1.txt", "b\n")
        self.write("r2.txt", "-g\nd\n")
        self.assertWarnings(self.kel(["a", "@r1.txt", "c", "@r2.txt", "e"]),
                            "a", "b", "c", "d", "e")

    def test_japanese_text(self):
        self.write("r.txt", "-g \"ファイル 一.txt\",ソ.txt\n")
        self.assertWarnings(self.kel(["@r.txt"]), "ファイル 一.txt", "ソ.txt")


class DefaultFromEnvironment(CommandLineCase):
    def test_switches_come_first(self):
        self.assertWarnings(self.kel(["x"], default="-g"), "x")
        self.assertWarnings(self.kel(["x", "y"], default=" -r , -g "), "x", "y")
        # A toggle on the command line switches the default off again.
        self.assertError(self.kel(["-g", "x"], default="-g"), "ファイル (x) が見つかりません")
        # -i on the command line drops the defaults.
        self.assertError(self.kel(["-i", "x"], default="-g"), "ファイル (x) が見つかりません")

    def test_operand_or_empty_token_in_default_is_an_error(self):
        for default in ("-g,x", "-sn,,-w", "x"):
            with self.subTest(default=default):
                self.assertError(self.kel(["y"], default=default), "オプションに誤りがあります")

    def test_faulty_default_switch(self):
        self.assertError(self.kel(["y"], default="-q"), "オプションに誤りがあります")


@unittest.skipUnless(WINDOWS, "the registry of the Windows build")
class DefaultFromRegistry(CommandLineCase):
    """Run under another file name, so that the program's key is this test's own."""

    NAME = "KelvardRegTest"
    KEY = "HKCU\\software\\Varnhold\\KelvardRegTest"

    def setUp(self):
        super().setUp()
        self.exe = self.path(self.NAME + ".exe")
        shutil.copy(EXE, self.exe)
        self.reg_delete()
        self.addCleanup(self.reg_delete)

    def reg_delete(self):
        wine(["reg", "delete", self.KEY, "/f"])

    def reg_add(self, *args):
        r = wine(["reg", "add", self.KEY] + list(args) + ["/f"])
        self.assertEqual(r.code, 0, r)

    def kel_copy(self, args, env_default=None):
        env = self.env(env_default, name=self.NAME)
        return self.run_here(args, exe=self.exe, env=env)

    def test_registry_value_wins_over_environment(self):
        self.reg_add("/v", "DefaultOption", "/d", "-g -r")
        self.assertWarnings(self.kel_copy(["x"], env_default="-q"), "x")
        self.reg_add("/v", "DefaultOption", "/t", "REG_EXPAND_SZ", "/d", "-g,%TEMP%")
        self.assertError(self.kel_copy(["x"]), "オプションに誤りがあります")

    def test_environment_named_after_the_copy(self):
        self.assertWarnings(self.kel_copy(["x"], env_default="-g"), "x")

    def test_key_without_value_ignores_environment(self):
        self.reg_add()
        self.assertError(self.kel_copy(["x"], env_default="-q"), "ファイル (x) が見つかりません")
        self.reg_add("/v", "DefaultOption", "/d", "")
        self.assertError(self.kel_copy(["x"], env_default="-q"), "ファイル (x) が見つかりません")

    def test_value_of_wrong_type_reaches_the_last_resort_report(self):
        self.reg_add("/v", "DefaultOption", "/t", "REG_DWORD", "/d", "1")
        r = self.kel_copy(["x"])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.out, b"")
        self.assertTrue(r.err.startswith(text(BANNER)), r)
        report = r.err[len(text(BANNER)):].decode("cp437", errors="replace")
        self.assertIn("ERegistryException", report)
        # The message is written in the console's OEM code page, which is 932 here too.
        self.assertIn(text("'DefaultOption' のデータ型が不正です."), r.err)
        self.assertNotIn(b"Error: ", r.err)


class FaultyCommandLineChangesNothing(CommandLineCase):
    def test_files_keep_their_stamps(self):
        stamp = 1_000_000_000 * 10**9 + 123_456_700  # 2001-09-09, with a fraction
        files = [self.make_file("d", name, mtime_ns=stamp) for name in ("a.txt", "b.txt")]
        sub = self.path("d")
        os.utime(sub, ns=(stamp, stamp))
        self.write("bad.txt", "-w d%sa.txt -q\n" % ("\\" if WINDOWS else "/"))
        pattern = os.path.join("d", "*.txt") if not WINDOWS else "d\\*.txt"
        for args in (["-d2011-03-15", pattern, "-q"],
                     ["-t+1", pattern, "@missing.txt"],
                     ["-x", "-c", pattern, "-c", "d"],
                     ["-t+1:2:3:4:5", pattern],
                     ["-sn", "-f2", "-r", "d", "-zs9"],
                     ["@bad.txt"],
                     ["-a", pattern, "-w", "-w", "-a"]):
            with self.subTest(args=args):
                r = self.kel(args)
                self.assertEqual(r.code, 1, r)
                self.assertEqual(r.out, b"")
                for f in files + [sub]:
                    self.assertEqual(os.stat(f).st_mtime_ns, stamp, f)
        self.assertEqual(sorted(os.listdir(sub)), ["a.txt", "b.txt"])



def local_ns(year, month, day, hour=0, minute=0, second=0):
    """A UTC time (the runs below use TZ=UTC) in ns since 1970."""
    import calendar
    return calendar.timegm((year, month, day, hour, minute, second, 0, 0, 0)) * 10**9


class SuccessfulRuns(CommandLineCase):
    """Options as they reach the stamps on disk."""

    OLD = local_ns(2001, 9, 9, 1, 46, 40)

    def setUp(self):
        super().setUp()
        self.a = self.make_file("a.txt", mtime_ns=self.OLD)
        self.b = self.make_file("my b.txt", mtime_ns=self.OLD)

    def kel(self, args, default=None, **kwargs):
        env = self.env(default)
        env["TZ"] = "UTC"
        return super().kel(args, env=env, **kwargs)

    def mtime(self, path):
        return os.stat(path).st_mtime_ns

    def test_date_and_time_from_a_response_file(self):
        self.write("r.txt", '-d:2011-03-15,-t:12:34:56.5\r\n"my b.txt"\r\n')
        r = self.kel(["@r.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime(self.b), local_ns(2011, 3, 15, 12, 34, 56) + 500_000_000)
        self.assertEqual(self.mtime(self.a), self.OLD)

    def test_expert_mode_keeps_each_operand_its_own_date(self):
        r = self.kel(["-x", "-d110315", "a.txt", "-d2012/4/16", "my b.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime(self.a), local_ns(2011, 3, 15))
        self.assertEqual(self.mtime(self.b), local_ns(2012, 4, 16))
        # Without it the last setting counts for both.
        r = self.kel(["-d110315", "a.txt", "-d2012/4/16", "my b.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime(self.a), local_ns(2012, 4, 16))

    def test_relative_shift_and_default_from_environment(self):
        r = self.kel(["-t+1:30", "a.txt"], default="-sw")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime(self.a), self.OLD + 90 * 60 * 10**9)
        # A later shift replaces an earlier one.
        r = self.kel(["-t-0:0:10", "a.txt"], default="-sw -t+5")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime(self.a), self.OLD + (90 * 60 - 10) * 10**9)

    def test_unreadable_date_is_refused_unless_read_over(self):
        r = self.kel(["-d2011-03-15", "-dx", "a.txt"])
        self.assertError(r, "日時の指定に誤りがあります")
        self.assertEqual(self.mtime(self.a), self.OLD)
        r = self.kel(["-sw", "-d2011-03-15", "-dx", "-d20", "a.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.mtime(self.a), local_ns(2001, 9, 20))


class EmptyCommandLine(CommandLineCase):
    def test_no_argument_shows_the_usage_screen(self):
        r = self.kel([])
        self.assertEqual(r.code, 255, r)
        self.assertEqual(r.err, text(BANNER))
        if WINDOWS:
            # An empty quoted argument is no argument.
            self.assertEqual(self.kel([""]).code, 255)

    def test_usage_switch_among_the_tokens(self):
        self.write("r.txt", "-? -q\n")
        r = self.kel(["x", "@r.txt"])
        self.assertEqual(r.code, 255, r)
        self.assertEqual(r.err, text(BANNER))


@unittest.skipIf(WINDOWS, "the registry of the native build")
class DefaultFromNativeRegistry(CommandLineCase):
    def test_stored_default_wins_over_environment(self):
        r = self.kel(["-DefOpt", "-g"])
        self.assertEqual(r.code, 0, r)
        self.assertWarnings(self.kel(["x"], default="-q"), "x")
        r = self.kel(["-DefOpt"])
        self.assertEqual(r.code, 0, r)
        self.assertError(self.kel(["x"], default="-q"), "オプションに誤りがあります")

if __name__ == "__main__":
    main()
