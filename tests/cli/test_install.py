"""Installation, packages and manual pages; the native build's --help,
--version and --."""

import gzip
import os
import re
import shutil
import subprocess
import unittest
import zipfile

from kelvard_cli import EXE, WINDOWS, TempDirTestCase, decode, main, run

BUILD_DIR = os.path.dirname(os.path.abspath(EXE))
VERSION_RE = re.compile(r"kelvard (\d+\.\d+\.\d+\.\d+)\n")
SWITCH_RE = re.compile(r"(?<![\w-])-[A-Za-z?][^\s,']*")
PAGES = ("man1/kelvard.1.gz", "ja/man1/kelvard.1.gz")


def shell(args, **kwargs):
    """Runs a tool; returns (exit code, stdout, stderr) as text."""
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", MANPAGER="cat", PAGER="cat")
    env.update(kwargs.pop("env", {}))
    proc = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=300, **kwargs)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), \
        proc.stderr.decode("utf-8", "replace")


def usage_switches(screen):
    """The switches the usage screen names, in their written forms."""
    switches = set()
    for line in screen.splitlines():
        if "デフォルトは" in line:  # the defaults line repeats switches
            continue
        switches.update(SWITCH_RE.findall(line))
    return switches


class PackageTestCase(TempDirTestCase):
    def unpacked_page(self, path):
        """A compressed manual page unpacked into the test folder; its path."""
        with gzip.open(path) as f:
            data = f.read()
        target = self.path("pages", path.replace(os.sep, "_")[:-3])
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        return target

    def cpack(self):
        """Builds the build's package into the test folder; returns its path."""
        code, out, err = shell(["cpack", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"),
                                "-B", self.path("pkg")])
        self.assertEqual(code, 0, out + err)
        made = [f for f in os.listdir(self.path("pkg")) if f.endswith((".deb", ".zip"))]
        self.assertEqual(len(made), 1, made)
        return self.path("pkg", made[0])

    def install(self):
        code, out, err = shell(["cmake", "--install", BUILD_DIR, "--prefix", self.path("prefix")])
        self.assertEqual(code, 0, out + err)
        return self.path("prefix")


@unittest.skipIf(WINDOWS, "native build")
class NativeInstall(PackageTestCase):
    def version(self):
        result = run(["--version"])
        self.assertEqual(result.code, 0)
        match = VERSION_RE.fullmatch(result.out_text)
        self.assertIsNotNone(match, result)
        return match.group(1)

    def assert_pages_render(self, man_dir):
        """Both pages render without a warning, with and without the Japanese
        macros, on a wide and a narrow terminal; man finds each in its language."""
        for page in PAGES:
            source = self.unpacked_page(os.path.join(man_dir, page))
            for extra in ([], ["-mja"], ["-rLL=60n"], ["-mja", "-rLL=60n"]):
                code, out, err = shell(["groff", "-man", "-ww", "-z", "-Tutf8", "-k"] + extra
                                       + [source])
                self.assertEqual((code, err), (0, ""), "%s %s" % (page, extra))
        for language, heading in (("en", "SYNOPSIS"), ("ja", "書式")):
            # man searches the language folders of MANPATH, not those of -M.
            code, out, err = shell(["man", "--warnings", "-L", language, "kelvard"],
                                   env={"MANPATH": man_dir, "MANWIDTH": "80"})
            self.assertEqual((code, err), (0, ""), language)
            self.assertIn(heading, out[:300], language)

    def test_install_runs_and_documents(self):
        prefix = self.install()
        for name in ("bin/kelvard", "share/man/man1/kelvard.1.gz",
                     "share/man/ja/man1/kelvard.1.gz", "share/doc/kelvard/copyright",
                     "share/bash-completion/completions/kelvard"):
            self.assertTrue(os.path.isfile(os.path.join(prefix, name)), name)
        installed = run(["--version"], exe=os.path.join(prefix, "bin", "kelvard"))
        self.assertEqual(installed.out_text, "kelvard %s\n" % self.version())
        self.assert_pages_render(os.path.join(prefix, "share", "man"))

    def test_every_usage_switch_is_documented(self):
        screen = run(["--help"]).out_text
        switches = usage_switches(screen)
        self.assertGreaterEqual(len(switches), 25, switches)
        prefix = self.install()
        for page in PAGES:
            source = self.unpacked_page(os.path.join(prefix, "share", "man", page))
            code, rendered, err = shell(["groff", "-man", "-Tutf8", "-k", "-P-cbou", source])
            words = set(re.findall(r"(?<![\w-])-[A-Za-z?][\w\[\]<>+\-?]*", rendered))
            for switch in switches:
                # -t(+/-)<time> stands for -t, -t+ and -t-; <date> is the argument.
                base = re.sub(r"\(.*|<.*", "", switch)
                forms = [base, base + "+", base + "-"] if "(+/-)" in switch else [base]
                for form in forms:
                    self.assertIn(form, words, page)

    def test_deb_package(self):
        deb = self.cpack()
        version = self.version()
        self.assertEqual(os.path.basename(deb), "kelvard_%s_amd64.deb" % version)
        code, info, err = shell(["dpkg-deb", "--info", deb])
        self.assertEqual(code, 0, err)
        self.assertRegex(info, r"(?m)^ Package: kelvard$")
        self.assertRegex(info, r"(?m)^ Version: %s$" % re.escape(version))
        self.assertRegex(info, r"(?m)^ Architecture: amd64$")
        depends = re.search(r"(?m)^ Depends: (.*)$", info)
        self.assertIsNotNone(depends, info)
        for library in ("libc6", "libstdc++6"):
            self.assertIn(library, depends.group(1))
        code, contents, err = shell(["dpkg-deb", "--contents", deb])
        for name in ("./usr/bin/kelvard", "./usr/share/man/man1/kelvard.1.gz",
                     "./usr/share/man/ja/man1/kelvard.1.gz",
                     "./usr/share/doc/kelvard/copyright", "./usr/share/doc/kelvard/changelog.gz",
                     "./usr/share/bash-completion/completions/kelvard"):
            self.assertIn(" " + name + "\n", contents)
        root = self.path("root")
        self.assertEqual(shell(["dpkg-deb", "-x", deb, root])[0], 0)
        unpacked = run(["--version"], exe=os.path.join(root, "usr", "bin", "kelvard"))
        self.assertEqual(unpacked.out_text, "kelvard %s\n" % version)
        self.assert_pages_render(os.path.join(root, "usr", "share", "man"))

    @unittest.skipUnless(shutil.which("lintian"), "lintian is not installed")
    def test_deb_passes_lintian(self):
        code, out, err = shell(["lintian", "--fail-on", "error", self.cpack()])
        self.assertEqual(code, 0, out + err)


@unittest.skipIf(WINDOWS, "native build")
class NativeConventions(TempDirTestCase):
    def test_help_and_version(self):
        help_ = self.run_here(["--help"])
        usage = self.run_here(["-?"])
        self.assertEqual((help_.code, usage.code), (0, 255))
        self.assertEqual(help_.out, usage.out)
        # The first of --help and --version before "--" decides; the version
        # line stands alone, without the banner on the error stream.
        for args in (["--version"], ["--version", "--help"], ["-w", "--version", "x"]):
            with self.subTest(args=args):
                version = self.run_here(args)
                self.assertEqual((version.code, version.err), (0, b""), version)
                self.assertRegex(version.out_text, VERSION_RE)
        self.assertEqual(self.run_here(["--help", "--version"]).out, help_.out)
        self.assertIn("ファイル (--version) が見つかりません",
                      self.run_here(["--", "--version"]).err_text)

    def test_double_dash_ends_switches(self):
        for name in ("-w", "@list", "--help"):
            self.make_file(name, mtime_ns=10**18)
        result = self.run_here(["-d2011-03-15", "--", "-w", "@list", "--help"])
        self.assertEqual(result.code, 0, result)
        for name in ("-w", "@list", "--help"):
            self.assertNotEqual(os.stat(self.path(name)).st_mtime_ns, 10**18, name)
        # Only the first "--" ends the switches; a later one is an operand.
        result = self.run_here(["--", "-w", "--"])
        self.assertEqual(result.code, 1)
        self.assertIn("ファイル (--) が見つかりません", result.err_text)
        # "--" in the default options is no end of switches, only an error.
        self.assertEqual(self.run_here(["-w"], env={"kelvard": "--"}).code, 1)


@unittest.skipIf(WINDOWS or not shutil.which("bash"), "the native build's bash completion")
class BashCompletion(TempDirTestCase):
    SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                          "kelvard.bash-completion")

    def complete(self, *words):
        """What bash offers for the last of `words` typed after kelvard, and
        whether it adds no blank after it."""
        script = (
            'source "$1"; shift\n'
            'complete -p kelvard\n'
            'nospace=0; compopt() { [[ "$*" == "-o nospace" ]] && nospace=1; }\n'
            'COMP_WORDS=(kelvard "$@"); COMP_CWORD=$#\n'
            '_kelvard\n'
            'printf "%s\\n" "nospace=$nospace" "${COMPREPLY[@]}"\n')
        code, out, err = shell(["bash", "--norc", "-c", script, "bash", self.SCRIPT] + list(words),
                               cwd=self.dir)
        self.assertEqual((code, err), (0, ""), words)
        lines = out.splitlines()
        self.assertEqual(lines[0], "complete -o filenames -F _kelvard kelvard")
        return sorted(lines[2:]), lines[1] == "nospace=1"

    def test_glued_values_and_file_names(self):
        self.make_file("ref.txt")
        os.mkdir(self.path("orig"))
        rows = [
            # A switch whose value is glued to it: no blank.
            (["-d"], ["-d"], True),
            (["-zo"], ["-zo"], True),
            (["-zs"], ["-zs"], True),
            (["-t"], ["-t", "-t+", "-t-"], True),
            (["-sw"], ["-sw"], True),
            (["-sm"], ["-sm"], True),
            # Switches that stand alone.
            (["-sn"], ["-sn"], False),
            (["-w"], ["-w"], False),
            # A file name glued to a source switch, after ":" or "=" too.
            (["-swre"], ["-swref.txt"], False),
            (["-sc:re"], ["-sc:ref.txt"], False),
            (["-sm=re"], ["-sm=ref.txt"], False),
            (["-ssor"], ["-ssorig/"], True),
            # The long forms, -Undo and its list.
            (["-U"], ["-Undo"], False),
            (["--h"], ["--help"], False),
            (["--v"], ["--version"], False),
            (["-Undo", "l"], ["list"], False),
            # File names elsewhere, and after "--" whatever they look like.
            (["re"], ["ref.txt"], False),
            (["--", "-d"], [], False),
        ]
        for words, replies, nospace in rows:
            with self.subTest(words=words):
                self.assertEqual(self.complete(*words), (replies, nospace))


@unittest.skipUnless(WINDOWS, "Windows build")
class WindowsPackage(PackageTestCase):
    def test_zip_runs_under_wine(self):
        archive = self.cpack()
        self.assertRegex(os.path.basename(archive), r"^Kelvard-[\d.]+-win64\.zip$")
        with zipfile.ZipFile(archive) as z:
            z.extractall(self.path("unzipped"))
            names = {os.path.basename(n) for n in z.namelist()}
        self.assertEqual(names, {"Kelvard.exe", "Folvane.exe", "readme-ja.txt"})
        top = self.path("unzipped", os.path.splitext(os.path.basename(archive))[0])
        with open(os.path.join(top, "readme-ja.txt"), "rb") as f:
            readme = f.read()
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        self.assertIn("使い方", readme.decode("cp932"))
        target = self.make_file("a.txt", mtime_ns=10**18)
        result = run(["-d2011-03-15", "a.txt"], cwd=self.dir,
                     exe=os.path.join(top, "Kelvard.exe"))
        self.assertEqual(result.code, 0, result)
        self.assertIn("変更しました", result.out_text)
        self.assertNotEqual(os.stat(target).st_mtime_ns, 10**18)

    def test_posix_forms_stay_option_errors(self):
        for args in (["--help"], ["--version"], ["--", "a.txt"]):
            result = run(args, cwd=self.dir)
            self.assertEqual(result.code, 1, args)
            self.assertIn("Error: オプションに誤りがあります。", result.err_text)


if __name__ == "__main__":
    main()
