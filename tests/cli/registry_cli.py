"""The default option string in the registry, for the command-line tests.

Each test gets a program of its own: a copy of the built program under a name
of its own, so that its key "\\software\\Varnhold\\<name>" is its own too
(tests of other scripts run at the same time in the same Wine prefix). In the
native build the registry is a folder tree under XDG_CONFIG_HOME, which each
test points at a folder of its own.
"""

import os
import shutil

from kelvard_cli import EXE, WINDOWS, TempDirTestCase, run, wine

MAKER_KEY = r"HKCU\software\Varnhold"


class RegistryTestCase(TempDirTestCase):
    """A test with its own program copy and its own registry key."""

    program = "KvTest"

    def setUp(self):
        super().setUp()
        self.config = self.path("config")
        name = self.program + "_" + self.id().rsplit(".", 1)[-1][-20:]
        self.name = name if WINDOWS else name.lower()
        self.exe = self.path("bin", self.name + (".exe" if WINDOWS else ""))
        os.makedirs(os.path.dirname(self.exe))
        shutil.copy2(EXE, self.exe)
        if WINDOWS:
            self.addCleanup(self.remove_key, self.key())

    # The program.
    def kelvard(self, args, **kwargs):
        env = dict(kwargs.pop("env", None) or {})
        if not WINDOWS:
            env.setdefault("XDG_CONFIG_HOME", self.config)
        kwargs.setdefault("cwd", self.dir)
        return run(args, exe=kwargs.pop("exe", self.exe), env=env, **kwargs)

    # The registry.
    def key(self, sub=""):
        key = MAKER_KEY + "\\" + self.name
        return key + ("\\" + sub if sub else "")

    def key_folder(self, key):
        """The folder of a key "HKCU\\a\\b" in the native build."""
        parts = key.split("\\")[1:]
        return os.path.join(self.config, *parts)

    def set_value(self, data, type_="REG_SZ", name="DefaultOption", sub=""):
        if WINDOWS:
            # In a UTF-8 locale Wine takes every character of the data as it is.
            r = wine(["reg", "add", self.key(sub), "/v", name, "/t", type_, "/d", data, "/f"],
                     env={"LC_ALL": "ja_JP.UTF-8"})
            self.assertEqual(r.code, 0, r)
        else:
            folder = self.key_folder(self.key(sub))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, name + ".value"), "wb") as f:
                f.write((type_ + "\n" + data).encode("utf-8"))

    def add_key(self, key):
        if WINDOWS:
            r = wine(["reg", "add", key, "/f"])
            self.assertEqual(r.code, 0, r)
        else:
            os.makedirs(self.key_folder(key), exist_ok=True)

    def key_exists(self, key):
        if WINDOWS:
            return wine(["reg", "query", key]).code == 0
        return os.path.isdir(self.key_folder(key))

    def value(self, name="DefaultOption"):
        """(type, data) of the value, or None when it is absent."""
        if WINDOWS:
            r = wine(["reg", "query", self.key(), "/v", name])
            if r.code != 0:
                return None
            for line in r.out.decode("cp932").splitlines():
                fields = line.strip().split(None, 2)
                if len(fields) >= 2 and fields[0].lower() == name.lower():
                    return fields[1], fields[2] if len(fields) > 2 else ""
            return None
        path = os.path.join(self.key_folder(self.key()), name + ".value")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            type_, _, data = f.read().decode("utf-8").partition("\n")
        return type_, data

    def remove_key(self, key):
        if WINDOWS:
            wine(["reg", "delete", key, "/f"])
        else:
            shutil.rmtree(self.key_folder(key), ignore_errors=True)
