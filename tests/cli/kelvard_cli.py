"""Runs the built program, native or under Wine, for the command-line tests.

The build is chosen by the environment: KELVARD_BUILD (native or windows) and
KELVARD_EXE (the program file). Texts are compared as the bytes the build
writes: CP932 with CR LF from the Windows build, UTF-8 with LF from the native
build.
"""

import atexit
import os
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("KELVARD_BUILD", "native")
EXE = os.environ.get("KELVARD_EXE", "")
WINDOWS = BUILD == "windows"
ENCODING = "cp932" if WINDOWS else "utf-8"
EOL = "\r\n" if WINDOWS else "\n"
SEP = "\\" if WINDOWS else "/"
WINE_RUN = os.environ.get(
    "KELVARD_WINE_RUN", os.path.join(os.path.dirname(__file__), "..", "wine-run.sh"))
# Sets LOCALAPPDATA for the Windows build: Wine's start-up sets its own over
# the caller's.
WITH_ENV = os.environ.get("KELVARD_WITH_ENV", "")

BANNER = ("タイムスタンプ変更 <ぽるかん>  version 1.27 (for Win32 console)\n"
          "Copyright (C) Varnhold. All rights reserved.\n")


def text(s):
    """The bytes the build writes for the text s (written with \\n line ends)."""
    return s.replace("\n", EOL).encode(ENCODING)


def decode(b):
    return b.decode(ENCODING, errors="replace").replace("\r\n", "\n")


class Result:
    def __init__(self, code, out, err):
        self.code = code
        self.out = out  # raw bytes
        self.err = err  # raw bytes, without Wine's own diagnostics

    @property
    def out_text(self):
        return decode(self.out)

    @property
    def err_text(self):
        return decode(self.err)

    def __repr__(self):
        return "Result(code=%r, out=%r, err=%r)" % (self.code, self.out_text, self.err_text)


def strip_wine_noise(err):
    lines = err.split(b"\n")
    kept = [line for line in lines if not line.startswith(b"wine: ")
            and not line.startswith(b"wineserver: ")]
    return b"\n".join(kept)


def command(args, exe=None, prefix=(), local_app_data=None):
    """The command line that runs the program, after the command `prefix`;
    local_app_data: the Windows build's LOCALAPPDATA (its state folder's
    base), which Wine's start-up would set over the caller's."""
    exe = exe or EXE
    if WINDOWS:
        if local_app_data:
            return list(prefix) + [WINE_RUN, WITH_ENV, "LOCALAPPDATA=" + local_app_data,
                                   exe] + list(args)
        return list(prefix) + [WINE_RUN, exe] + list(args)
    return list(prefix) + [exe] + list(args)


_EMPTY_CONFIG = None
_STATE = None


def state_environment(folder):
    """The variables that put the program's state folder (its journal) below
    folder: $XDG_STATE_HOME/kelvard natively, %LOCALAPPDATA%\\Varnhold\\Kelvard on
    Windows (run() hands LOCALAPPDATA to the program past Wine's start-up)."""
    if WINDOWS:
        return {"LOCALAPPDATA": wine_path(folder)}
    return {"XDG_STATE_HOME": folder}


def journal_folder(folder):
    """The folder of the journal's files for the state folder's base folder."""
    if WINDOWS:
        return os.path.join(folder, "Varnhold", "Kelvard")
    return os.path.join(folder, "kelvard")


def isolated_environment():
    """The caller's environment without the user's own default options and
    journal: an empty registry folder for the native build, no variable named
    after the program, a state folder of the test run's own natively (the
    Windows build keeps its journal in the Wine prefix of the build tree
    unless a test gives LOCALAPPDATA)."""
    global _EMPTY_CONFIG, _STATE
    if _EMPTY_CONFIG is None:
        _EMPTY_CONFIG = tempfile.mkdtemp(prefix="kelvard-config-")
        atexit.register(shutil.rmtree, _EMPTY_CONFIG, True)
        _STATE = tempfile.mkdtemp(prefix="kelvard-state-")
        atexit.register(shutil.rmtree, _STATE, True)
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = _EMPTY_CONFIG
    if not WINDOWS:
        env.update(state_environment(_STATE))
    for name in ("kelvard", "Kelvard"):
        env.pop(name, None)
    return env


def run(args, cwd=None, env=None, exe=None, stdin=None, timeout=120, prefix=()):
    """Runs the program with args (after the command `prefix`); returns a Result."""
    full_env = isolated_environment()
    if env:
        full_env.update(env)
    local_app_data = env.get("LOCALAPPDATA") if env else None
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(command(args, exe, prefix, local_app_data), cwd=cwd, env=full_env,
                              stdout=out, stderr=err,
                              stdin=stdin if stdin is not None else subprocess.DEVNULL,
                              timeout=timeout)
        out.seek(0)
        err.seek(0)
        return Result(proc.returncode, out.read(), strip_wine_noise(err.read()))


def wine_path(path):
    """The path as the Windows build sees it (Wine maps / to Z:)."""
    if not WINDOWS:
        return path
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(args, env=None, timeout=120):
    """Runs a Wine command (such as reg) in the prefix of the Windows build."""
    full_env = dict(os.environ)
    full_env.setdefault("WINEDEBUG", "-all")
    if env:
        full_env.update(env)
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(["wine"] + list(args), env=full_env, stdout=out, stderr=err,
                              stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return Result(proc.returncode, out.read(), err.read())


class TempDirTestCase(unittest.TestCase):
    """A test case with a fresh working folder per test."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kelvard-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def make_file(self, *parts, mtime_ns=None):
        p = self.path(*parts)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb"):
            pass
        if mtime_ns is not None:
            os.utime(p, ns=(mtime_ns, mtime_ns))
        return p

    def run_here(self, args, **kwargs):
        kwargs.setdefault("cwd", self.dir)
        return run(args, **kwargs)

    def run_unprivileged(self, args, **kwargs):
        """run_here as a user that folder permissions hold back: the caller,
        or, for root, nobody (through setpriv), to whom the working folder's
        tree is handed first. Skips the test where that cannot be."""
        prefix = []
        if os.geteuid() == 0:
            if not shutil.which("setpriv"):
                self.skipTest("running as root without setpriv")
            os.chmod(self.dir, 0o755)
            for root, dirs, files in os.walk(self.dir):
                for entry in dirs + files:
                    os.lchown(os.path.join(root, entry), 65534, 65534)
            prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        return self.run_here(args, prefix=prefix, **kwargs)


def main():
    if not EXE:
        raise SystemExit("KELVARD_EXE is not set")
    unittest.main(verbosity=2)
