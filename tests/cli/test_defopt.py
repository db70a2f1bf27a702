"""Keeping the default option string with -DefOpt."""

import os

from kelvard_cli import BANNER, WINDOWS, main, text, wine_path
from registry_cli import MAKER_KEY, RegistryTestCase

WRITTEN = "\nデフォルトオプションをレジストリに書き込みました。\n"
REMOVED = "\nデフォルトオプションをレジストリから削除しました。\n"


class DefaultOption(RegistryTestCase):
    program = "KvDefOpt"

    def assertDone(self, r, message):
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.err, text(BANNER), r)
        self.assertEqual(r.out, text(message), r)

    def test_stores_replaces_and_shows_the_arguments(self):
        self.assertDone(self.kelvard(["-DefOpt", "-sn", "-w", "-f1"]), WRITTEN)
        self.assertEqual(self.value(), ("REG_SZ", "-sn -w -f1"))
        self.assertDone(self.kelvard(["-DEFOPT", "-v"]), WRITTEN)
        self.assertEqual(self.value(), ("REG_SZ", "-v"))
        r = self.kelvard(["-?"])
        self.assertEqual(r.code, 255, r)
        self.assertIn(text("（現在の設定：-v）\n"), r.out)

    def test_argument_with_a_blank_is_stored_quoted(self):
        self.assertDone(self.kelvard(["-defopt", "-swD:\\My Files\\ref.txt", "-v"]), WRITTEN)
        self.assertEqual(self.value(), ("REG_SZ", '"-swD:\\My Files\\ref.txt" -v'))

    def test_stored_arguments_read_back_whole(self):
        stamp = 1295238339123456700  # 2011-01-17 04:25:39.1234567 UTC
        ref = self.make_file("My Files", "ref, 1.txt", mtime_ns=stamp)
        target = self.make_file("t.txt", mtime_ns=10**18)
        self.assertDone(self.kelvard(["-DefOpt", "-sw" + wine_path(ref)]), WRITTEN)
        r = self.kelvard(["t.txt"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(os.stat(target).st_mtime_ns, stamp)

    def test_a_string_a_later_run_would_refuse_is_not_stored(self):
        self.assertDone(self.kelvard(["-DefOpt", "-f1"]), WRITTEN)
        self.make_file("a.txt")
        for args, cause in ((["-sw", "ref.txt"], "ref.txt: スイッチではありません"),
                            (["report.txt"], "report.txt: スイッチではありません"),
                            (["-zs9"], "-zs9: -zs の値は 0 から 7 までです"),
                            (["-?"], "-?: 使い方の表示はデフォルトオプションにできません")):
            with self.subTest(args=args):
                r = self.kelvard(["-DefOpt"] + args)
                self.assertEqual(r.code, 1, r)
                self.assertTrue(r.err.startswith(text(
                    BANNER + "\nError: オプションに誤りがあります。\n" + cause)), r)
                self.assertIn(text("(デフォルトオプションは変更していません)\n"), r.err)
                # What was stored stays, and the next run works.
                self.assertEqual(self.value(), ("REG_SZ", "-f1"))
                self.assertEqual(self.kelvard(["-v", "a.txt"]).code, 0)

    def test_a_stored_string_that_a_run_refuses_names_itself(self):
        self.set_value("-sw ref.txt")
        r = self.kelvard(["a.txt"])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.err, text(
            BANNER + "\nError: オプションに誤りがあります。\n"
            "デフォルトオプション \"-sw ref.txt\" (レジストリ) の ref.txt: スイッチではありません "
            "(デフォルトオプションにはスイッチしか書けません)。-DefOpt だけを指定して実行すると"
            "削除されます\n"))
        # The usage screen still shows it, and -DefOpt alone removes it.
        r = self.kelvard(["-?"])
        self.assertEqual(r.code, 255, r)
        self.assertIn(text("（現在の設定：-sw ref.txt）\n"), r.out)
        self.assertDone(self.kelvard(["-DefOpt"]), REMOVED)

    def test_a_name_beyond_the_code_page_is_read_exactly(self):
        # Stored in the registry, in the environment (only read without the
        # program's key), and with -DefOpt: never the look-alike's stamp.
        source = self.make_file("café.txt", mtime_ns=1041379200 * 10**9)
        self.make_file("cafe.txt", mtime_ns=978307200 * 10**9)
        target = self.make_file("t.txt", mtime_ns=10**18)
        ways = [("registry", lambda: self.set_value("-sw:café.txt"), {}),
                ("environment", lambda: None, {self.name: "-sw:café.txt"}),
                ("-DefOpt", lambda: self.assertDone(self.kelvard(["-DefOpt", "-sw:café.txt"]),
                                                    WRITTEN), {})]
        for way, store, env in ways:
            with self.subTest(way):
                self.remove_key(self.key())
                store()
                os.utime(target, ns=(10**18, 10**18))
                r = self.kelvard(["t.txt"], env=env)
                self.assertEqual(r.code, 0, r)
                self.assertEqual(os.stat(target).st_mtime_ns, os.stat(source).st_mtime_ns)

    def test_slash_form_in_the_windows_build(self):
        if not WINDOWS:
            self.skipTest("a leading / begins a path in the native build")
        self.assertDone(self.kelvard(["/defopt", "-c"]), WRITTEN)
        self.assertEqual(self.value(), ("REG_SZ", "-c"))

    def test_removal_takes_the_whole_key(self):
        self.set_value("-v")
        self.set_value("x", name="Other")
        self.set_value("y", sub="Sub")
        sibling = MAKER_KEY + "\\" + self.name + "Sibling"
        self.add_key(sibling)
        self.addCleanup(self.remove_key, sibling)
        self.assertDone(self.kelvard(["-DefOpt"]), REMOVED)
        self.assertFalse(self.key_exists(self.key()))
        self.assertTrue(self.key_exists(sibling))  # the maker's key stays with it
        if not WINDOWS:
            # The registry of this test is its own: the maker's key goes with
            # its last program key (in Wine's shared registry other tests may
            # hold keys under it at the same time).
            self.remove_key(sibling)
            self.assertDone(self.kelvard(["-DefOpt", "-a"]), WRITTEN)
            self.assertDone(self.kelvard(["-DefOpt"]), REMOVED)
            self.assertFalse(self.key_exists(MAKER_KEY))
            self.assertTrue(self.key_exists("HKCU\\software"))

    def test_removal_without_a_stored_key_is_an_error(self):
        r = self.kelvard(["-DefOpt"])
        self.assertEqual(r.code, 1, r)
        head = text(BANNER + "\nError: デフォルトオプションがレジストリに設定されていません。\n")
        self.assertEqual(r.err[:len(head)], head)
        # The key and the system's reason.
        self.assertRegex(r.err[len(head):], b"^HKEY_CURRENT_USER.*: [^\r\n]+\r?\n$")
        self.assertEqual(r.out, b"")


if __name__ == "__main__":
    main()
