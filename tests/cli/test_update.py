"""Registration with the update checker: the maker and program keys under the
checker's key, created once, with the path and build brought up to date on
every run."""

import errno
import os
import shutil
import unittest

from kelvard_cli import BANNER, EXE, WINDOWS, TempDirTestCase, main, text, wine, wine_path

CHECKER = "HKCU\\Software\\Verwatch"
MAKER = CHECKER + "\\support@varnhold.example"
PROGRAM = MAKER + "\\Kelvard"
PROGRAM_FILE = "Kelvard.exe" if WINDOWS else "kelvard"

MAKER_VALUES = {
    "Author": ("REG_SZ", "Varnhold"),
    "DisplayHost": ("REG_SZ", "www.varnhold.example"),
    "InfoURL": ("REG_SZ", "http://www.varnhold.example/varnhold/freesoft/update.inf"),
}


class Registry:
    """The registry of the build under test, read and written from outside."""

    def __init__(self, case):
        self.case = case
        self.config = case.path("config")  # the native build's registry folder
        os.makedirs(self.config)

    def env(self):
        return {"XDG_CONFIG_HOME": self.config, "Kelvard": "", "kelvard": ""}

    # Keys are given as "HKCU\..." paths.
    def folder(self, key):
        return os.path.join(self.config, *key.split("\\")[1:])

    def add_key(self, key):
        if WINDOWS:
            r = wine(["reg", "add", key, "/f"])
            self.case.assertEqual(r.code, 0, r)
        else:
            os.makedirs(self.folder(key), exist_ok=True)

    def set_string(self, key, name, value):
        if WINDOWS:
            r = wine(["reg", "add", key, "/v", name, "/d", value, "/f"],
                     env={"LC_ALL": "ja_JP.UTF-8"})
            self.case.assertEqual(r.code, 0, r)
        else:
            self.add_key(key)
            with open(os.path.join(self.folder(key), name + ".value"), "wb") as f:
                f.write(b"REG_SZ\n" + value.encode("utf-8"))

    def delete(self, key):
        if WINDOWS:
            wine(["reg", "delete", key, "/f"])
        else:
            shutil.rmtree(self.folder(key), ignore_errors=True)

    def exists(self, key):
        if WINDOWS:
            return wine(["reg", "query", key]).code == 0
        return os.path.isdir(self.folder(key))

    def values(self, key):
        """{name: (type, data)} of the values of one key."""
        result = {}
        if WINDOWS:
            r = wine(["reg", "query", key], env={"LC_ALL": "ja_JP.UTF-8"})
            self.case.assertEqual(r.code, 0, r)
            for line in r.out.decode("cp932").splitlines():
                if not line.startswith("    "):
                    continue
                parts = line.strip().split("    ")
                name, kind = parts[0], parts[1]
                data = parts[2] if len(parts) > 2 else ""
                if name == "(Default)":
                    continue
                if kind == "REG_DWORD":
                    data = int(data, 16)
                result[name] = (kind, data)
        else:
            for entry in os.listdir(self.folder(key)):
                path = os.path.join(self.folder(key), entry)
                if not entry.endswith(".value") or not os.path.isfile(path):
                    continue
                with open(path, "rb") as f:
                    kind, _, data = f.read().partition(b"\n")
                kind = kind.decode()
                data = data.decode("utf-8")
                if kind == "REG_DWORD":
                    data = int(data)
                result[entry[:-len(".value")]] = (kind, data)
        return result


class UpdateCheck(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.reg = Registry(self)
        self.reg.delete(CHECKER)
        self.addCleanup(self.reg.delete, CHECKER)

    def install(self, folder):
        """A copy of the program in a folder of its own; returns its path."""
        os.makedirs(self.path(folder))
        copy = self.path(folder, PROGRAM_FILE)
        shutil.copy2(EXE, copy)
        return copy

    def kel(self, exe, args=("x",)):
        return self.run_here(list(args), exe=exe, env=self.reg.env())

    def assertRanNormally(self, r):
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.err, text(BANNER + "\nError: ファイル (x) が見つかりません。\n"))

    def test_without_the_checker_nothing_is_written(self):
        exe = self.install("a")
        self.assertRanNormally(self.kel(exe))
        self.assertFalse(self.reg.exists(CHECKER))
        self.assertFalse(self.reg.exists(MAKER))

    def test_first_run_creates_both_keys_and_a_later_run_follows_the_program(self):
        self.reg.add_key(CHECKER)
        first = self.install("a")
        self.assertRanNormally(self.kel(first))
        self.assertEqual(self.reg.values(MAKER), MAKER_VALUES)
        self.assertEqual(self.reg.values(PROGRAM), {
            "DistinctName": ("REG_SZ", "Kelvard"),
            "DisplayName": ("REG_SZ", "ぽるかん"),
            "FilePath": ("REG_SZ", wine_path(first)),
            "Build": ("REG_DWORD", 80),
        })

        # Moved elsewhere: only the path changes.
        second = self.install("b")
        self.assertRanNormally(self.kel(second))
        self.assertEqual(self.reg.values(MAKER), MAKER_VALUES)
        values = self.reg.values(PROGRAM)
        self.assertEqual(values["FilePath"], ("REG_SZ", wine_path(second)))
        self.assertEqual(values["Build"], ("REG_DWORD", 80))
        self.assertEqual(values["DisplayName"], ("REG_SZ", "ぽるかん"))
        self.assertEqual(len(values), 4)

    def test_existing_keys_keep_what_they_hold(self):
        self.reg.set_string(MAKER, "Author", "someone")
        self.reg.set_string(PROGRAM, "DisplayName", "古い名前")
        self.reg.set_string(PROGRAM, "FilePath", "old")
        exe = self.install("a")
        self.assertRanNormally(self.kel(exe))
        self.assertEqual(self.reg.values(MAKER), {"Author": ("REG_SZ", "someone")})
        self.assertEqual(self.reg.values(PROGRAM), {
            "DisplayName": ("REG_SZ", "古い名前"),
            "FilePath": ("REG_SZ", wine_path(exe)),
            "Build": ("REG_DWORD", 80),
        })

    def test_registration_comes_before_everything_else(self):
        # Also a run that only shows the usage screen registers.
        self.reg.add_key(CHECKER)
        exe = self.install("a")
        r = self.kel(exe, args=[])
        self.assertEqual(r.code, 255, r)
        self.assertEqual(self.reg.values(PROGRAM)["FilePath"], ("REG_SZ", wine_path(exe)))

    @unittest.skipIf(WINDOWS, "folders and permissions of the native registry")
    def test_a_registration_that_cannot_write_warns_and_the_run_goes_on(self):
        """A side task never stops the run: the warning names the value, the
        key and the system's reason, and the run stamps with exit code 0."""
        def file_for_the_maker_folder():
            self.reg.add_key(CHECKER)
            with open(self.reg.folder(MAKER), "wb"):
                pass
            return errno.ENOTDIR

        def checker_folder_read_only():
            self.reg.add_key(CHECKER)
            os.chmod(self.reg.folder(CHECKER), 0o500)
            self.addCleanup(os.chmod, self.reg.folder(CHECKER), 0o700)
            return errno.EACCES

        cases = [("a file where the maker's folder belongs", file_for_the_maker_folder)]
        if os.geteuid() != 0:  # permissions do not hold back root
            cases.append(("a checker folder without write permission", checker_folder_read_only))
        exe = self.install("a")
        for name, setup in cases:
            with self.subTest(name):
                self.reg.delete(CHECKER)
                code = setup()
                target = self.make_file("t.txt", mtime_ns=10**18)
                r = self.kel(exe, args=["t.txt"])
                self.assertEqual(r.code, 0, r)
                self.assertEqual(r.err, text(
                    "Warn.: 更新チェックの登録に失敗しました。('Author' の設定に失敗しました)\n"
                    "HKEY_CURRENT_USER\\Software\\Verwatch\\support@varnhold.example: %s\n"
                    % os.strerror(code) + BANNER))
                self.assertIn(text("変更しました。(t.txt)\n"), r.out)
                self.assertNotEqual(os.stat(target).st_mtime_ns, 10**18)
                self.assertFalse(os.path.isdir(self.reg.folder(PROGRAM)))


if __name__ == "__main__":
    main()
