"""Stamping on several threads: the output, the stamps left and the exit code
are byte for byte those of a serial run (-zp1), over one mixed tree."""

import os
import resource
import stat
import subprocess
import tempfile
import time
import unittest

from kelvard_cli import (SEP, WINDOWS, TempDirTestCase, command, isolated_environment,
                         journal_folder, main, state_environment)

OLD_NS = 1000000000 * 10**9 + 123456700  # 2001-09-09


def j(*parts):
    return SEP.join(parts)


class SerialAndParallel(TempDirTestCase):
    def setUp(self):
        super().setUp()
        # t: 300 files over folders three deep, a read-only file, a folder named
        # like the pattern, and (natively) links of every kind; orig: the
        # counterpart tree of t for -ss:, with one file missing there.
        for d in range(5):
            for e in range(3):
                for f in range(20):
                    self.make_file("t", "d%d" % d, "e%d" % e, "f%02d.txt" % f)
                    if (d, e, f) != (2, 1, 7):
                        self.make_file("orig", "d%d" % d, "e%d" % e, "f%02d.txt" % f)
        self.make_file("t", "ro.txt")
        self.make_file("orig", "ro.txt")
        os.makedirs(self.path("t", "x.txt"))
        self.make_file("t", "x.txt", "in.txt")
        self.make_file("orig", "x.txt", "in.txt")
        if not WINDOWS:
            os.symlink(self.path("orig", "ro.txt"), self.path("t", "d0", "link.txt"))
            os.symlink(self.path("orig"), self.path("t", "d1", "linked"))
            os.symlink("nowhere", self.path("t", "d2", "dangling.txt"))
        os.chmod(self.path("t", "ro.txt"), stat.S_IRUSR)
        self.addCleanup(os.chmod, self.path("t", "ro.txt"), stat.S_IRUSR | stat.S_IWUSR)
        self.items = []
        for top, dirs, files in os.walk(self.path("t")):
            self.items += [os.path.join(top, n) for n in dirs + files]
        # Stamps a week apart item by item, so that copies show in the result
        # and a day of the month fits some items and not others.
        for i, item in enumerate(sorted(self.items)):
            stamp = OLD_NS + i * 7 * 86400 * 10**9
            os.utime(item, ns=(stamp + 5, stamp), follow_symlinks=False)
        self.saved = {item: (os.lstat(item).st_mtime_ns, os.lstat(item).st_atime_ns)
                      for item in self.items}

    def stamps(self):
        # Under Wine every listing moves a folder's access stamp to the time
        # it is read, which no two runs share.
        def access(item):
            return None if WINDOWS and os.path.isdir(item) else os.lstat(item).st_atime_ns
        return {item: (os.lstat(item).st_mtime_ns, access(item)) for item in self.items}

    def run_both(self, args):
        """Runs args serially and on four threads from the same stamps; gives
        the serial result after checking that the parallel one is the same."""
        results = []
        for threads in ("-zp1", "-zp4"):
            for item, (mtime, atime) in self.saved.items():
                os.utime(item, ns=(atime, mtime), follow_symlinks=False)
            r = self.run_here([threads] + args, env={"TZ": "UTC"})
            results.append((r, self.stamps()))
        (serial, serial_stamps), (parallel, parallel_stamps) = results
        self.assertEqual(serial.code, parallel.code, args)
        self.assertEqual(serial.out, parallel.out, args)
        self.assertEqual(serial.err, parallel.err, args)
        differ = {item: (serial_stamps[item], parallel_stamps[item]) for item in self.items
                  if serial_stamps[item] != parallel_stamps[item]}
        self.assertEqual(differ, {}, str(args) + str(differ))
        return serial

    def test_the_same_output_and_stamps(self):
        rows = [
            (["-r", "-f2", "-w", "-a", "-d2020-01-02", "-t12:00", j("t", "*.txt")], 2),
            (["-r", "-f1", "-v", "-w", "-a", "-t+1", "-sw", j("t", "*")], 2),
            # Natively the links taken as themselves get no restore lines.
            (["-r", "-e", "-w", "-a", j("t", "*.txt")], 0 if WINDOWS else 2),
            (["-r", "-ss:" + j("orig", ""), "-w", "-a", j("t", "*.txt")], 2),
            # The same items named twice: the second operand reads what the first wrote.
            (["-x", "-r", "-w", "-d2020-03-04", j("t", "d3", "*.txt"), "-sw", "-t+2",
              j("t", "d3", "*.txt")], 0),
            # An error in the middle ends the run after the items before it;
            # none after it is changed.
            (["-r", "-w", "-sw", "-d31", j("t", "*.txt")], 1),
        ]
        for args, code in rows:
            r = self.run_both(args)
            self.assertEqual(r.code, code, (args, r.err_text[-300:]))


def peak_memory(proc, program):
    """The most memory (KB) the running `program` held, as /proc shows it
    while it runs (the counts of a finished child begin with the test's own,
    and so does the process until it has started `program`)."""
    peak = 0
    name = os.path.basename(program)[:15]
    while proc.poll() is None:
        try:
            with open("/proc/%d/status" % proc.pid) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
            if fields["Name"].strip() == name:
                peak = max(peak, int(fields["VmHWM"].split()[0]))
        except (OSError, KeyError, ValueError):
            pass
        time.sleep(0.005)
    return peak


@unittest.skipIf(WINDOWS, "a full device and the native memory limit")
class LimitsOfTheRun(TempDirTestCase):
    def journaled(self, state):
        folder = journal_folder(state)
        items = set()
        for name in os.listdir(folder):
            with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
                # The path is the field before the record's checksum.
                items |= {line.rstrip("\n").split("\t")[-2] for line in f
                          if line.startswith("item\t")}
        return items

    def test_a_failed_output_stops_the_writing_and_names_every_item_changed(self):
        os.makedirs(self.path("F"))
        names = ["f%04d.txt" % i for i in range(5000)]
        for name in names:
            self.make_file("F", name, mtime_ns=10**18)
        for threads in ("-zp1", "-zp8"):
            with self.subTest(threads=threads):
                for name in names:
                    os.utime(self.path("F", name), ns=(10**18, 10**18))
                state = self.path("state" + threads)
                env = isolated_environment()
                env.update(state_environment(state))
                with open("/dev/full", "wb") as full:
                    proc = subprocess.run(
                        command([threads, "-d2011-03-15", "-t12:00", j("F", "*.txt")]),
                        cwd=self.dir, env=env, stdout=full, stderr=subprocess.PIPE, timeout=120)
                err = proc.stderr.decode("utf-8", "replace")
                self.assertEqual(proc.returncode, 1, err[-300:])
                self.assertIn("Error: 出力を書き込めませんでした。", err)
                changed = {n for n in names if os.stat(self.path("F", n)).st_mtime_ns != 10**18}
                named = {l[len("変更しました。(F/"):-1] for l in err.split("\n")
                         if l.startswith("変更しました。(")}
                # The writing stopped early, and every item changed is named
                # and journaled.
                self.assertTrue(changed)
                self.assertLess(len(changed), len(names))
                self.assertEqual(named, changed)
                real = os.path.realpath(self.path("F"))
                self.assertLessEqual({os.path.join(real, n) for n in changed},
                                     self.journaled(state))

    def test_a_deep_tree_in_little_memory(self):
        # 2,000 levels of 100-byte names, each with a file: 200 KB of names,
        # paths of 200 KB at the bottom.
        name = "n" * 100
        # Removed by a tool that takes any depth, before the test's own clean-up.
        self.addCleanup(subprocess.run, ["rm", "-rf", self.path("t")])
        os.makedirs(self.path("t"))
        fd = os.open(self.path("t"), os.O_RDONLY)
        for _ in range(2000):
            os.mkdir(name, dir_fd=fd)
            sub = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(os.open("f.txt", os.O_CREAT | os.O_WRONLY, dir_fd=sub))
            os.close(fd)
            fd = sub
        os.close(fd)

        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (256 << 20, 256 << 20))

        env = isolated_environment()
        env.update(state_environment(self.path("state")))
        for args in (["-r", "-d2011-03-15", "-t12:00", "*.txt"], ["-r", "-e", "*.txt"]):
            with self.subTest(args=args):
                with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
                    argv = command(args)
                    proc = subprocess.Popen(argv, cwd=self.path("t"), env=env,
                                            preexec_fn=limit, stdout=stdout, stderr=stderr)
                    peak = peak_memory(proc, argv[0])
                    stdout.seek(0)
                    stderr.seek(0)
                    proc.stdout, proc.stderr = stdout.read(), stderr.read()
                self.assertEqual(proc.returncode, 0, proc.stderr[-300:])
                # What the run holds follows the names (200 KB) and a few of
                # the paths made from them (200 KB each), not the depth times
                # the paths: well under 24 MB at its peak.
                self.assertLess(0, peak)
                self.assertLess(peak, 24 << 10)
                out = proc.stdout.decode("utf-8", "replace")
                if "-e" in args:
                    # The deepest file gets its lines by its absolute path.
                    deepest = os.path.realpath(self.path("t")) + ("/" + name) * 2000 + "/f.txt"
                    self.assertTrue(out.endswith(" " + deepest + "\n"))
                else:
                    self.assertEqual(out.count("変更しました。("), 2000)
        self.assertEqual(len(self.journaled(self.path("state"))), 2000)


if __name__ == "__main__":
    main()
