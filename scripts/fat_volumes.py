#!/usr/bin/env python3
"""The checks of scripts/fat_volumes.sh on a vfat and an exFAT volume.

  fat_volumes.py guest            writes the guest system's /init (busybox sh)
  fat_volumes.py media DIR        writes the photo and the video that -sm
                                  reads on each volume (exiftool dates the photo)
  fat_volumes.py check LOG        reads the guest's console and prints one
                                  table per volume; exit 1 on any difference

The guest runs the program on each volume, remounts the volume after every
step (before a remount, stat shows the values the kernel cached, not those on
the disk) and reads every item's stamps with fat_probe. Here, on the host,
each stamp is compared three ways: what the program reported (its preview,
its restore lines), what the volume holds, and what the volume's rule says.
"""
import calendar
import os
import re
import struct
import subprocess
import sys

OFFSET = 9 * 3600  # the guest's local time: TZ=JST-9, and the volumes mounted at +9 h
SECOND = 10**9
MS10 = 10**7

# Volume name, mount type, mount options, and the steps in which the volume
# keeps each stamp: modification, access, creation. The access stamp on vfat
# keeps the date only ("day"), at the volume's offset from UTC ("zone"): its
# time_offset= where the mount gives one, else the kernel's time zone (UTC
# here, as on most systems). exFAT keeps the modification stamp in 10 ms (the
# Linux driver's precision) and each stamp with its offset. "zone" also
# places the earliest stamp the volume holds, 1980-01-01 00:00: an earlier
# one becomes that one (exFAT counts from UTC).
VOLUMES = [
    ("vfat", "vfat", "time_offset=540,iocharset=ascii",
     {"m": 2 * SECOND, "a": "day", "c": MS10, "zone": OFFSET}),
    ("vfat-utc", "vfat", "iocharset=ascii",
     {"m": 2 * SECOND, "a": "day", "c": MS10, "zone": 0}),
    ("exfat", "exfat", "time_offset=540,iocharset=utf8",
     {"m": MS10, "a": 2 * SECOND, "c": MS10, "zone": 0}),
]
KIND_NAMES = {"m": "更新日時", "a": "アクセス", "c": "作成日時"}
MEDIA = ["photo.jpg", "clip.mp4"]
FILES = ["f1", "f2", "f3", "f4", "f5", "f6", "f7", "d1"] + MEDIA
CHANGED = "実行の後で変更されています"

# The steps of each volume, in order: (name, command run in the volume's root).
# After each step the volume is remounted and every file read.
STEPS = [
    ("override?", "kelvard -v -zs7 -d2011-03-15 -t12:34:57.1234567 -w -a f1"),
    ("override", "kelvard -zs7 -d2011-03-15 -t12:34:57.1234567 -w -a f1"),
    ("read", "kelvard -v -zs7 -zr0 -sc -w -a f1"),
    ("folder?", "kelvard -v -zs7 -f1 -d2011-03-15 -t12:34:57.1234567 -w -a d1"),
    ("folder", "kelvard -f1 -d2011-03-15 -t12:34:57.1234567 -w -a d1"),
    ("shift?", "kelvard -v -zs7 -sw -t+1:00:00.015 -w -a f1"),
    ("shift", "kelvard -zs7 -sw -t+1:00:00.015 -w -a f1"),
    ("zr0?", "kelvard -v -zs7 -zr0 -d2011-03-15 -t12:34:57.1234567 -w -a f2"),
    ("zr0", "kelvard -zr0 -d2011-03-15 -t12:34:57.1234567 -w -a f2"),
    ("zr1?", "kelvard -v -zs7 -zr1 -d2011-03-16 -t08:09:11.987654 -w -a f3"),
    ("zr1", "kelvard -zr1 -d2011-03-16 -t08:09:11.987654 -w -a f3"),
    ("zr2?", "kelvard -v -zs7 -zr2 -d2011-03-16 -t08:09:11.987654 -w -a f3"),
    ("zr2", "kelvard -zr2 -d2011-03-16 -t08:09:11.987654 -w -a f3"),
    ("-dU?", "kelvard -v -zs7 -dU -w -a f4"),
    ("-dU", "kelvard -dU -w -a f4"),
    ("-e", "kelvard -e -zs7 -w -a f1 f2 f3 f4 > r.txt; rc=$?; cat r.txt; exit $rc"),
    ("-e -c", "kelvard -e -zs7 -c f4"),
    ("change", "kelvard -d2020-02-02 -t02:02:02 -w -a f1 f2 f3 f4"),
    ("@r.txt", "kelvard @r.txt"),
    ("-c", "kelvard -c -d2011-01-01 f4"),
    ("undo run", "kelvard -d2012-07-08 -t09:10:11.987 -w -a f5"),
    ("-Undo", "kelvard -Undo"),
    ("within run", "kelvard -d2012-07-08 -t09:10:10 -w f6"),
    ("within set", "fat_probe set f6 {within} -"),
    ("within -Undo", "kelvard -Undo"),
    ("beyond run", "kelvard -d2012-07-08 -t09:10:10 -w f7"),
    ("beyond set", "fat_probe set f7 {beyond} -"),
    ("beyond -Undo", "kelvard -Undo"),
    ("-sm?", "kelvard -v -zs7 -sm photo.jpg clip.mp4"),
    ("-sm", "kelvard -sm photo.jpg clip.mp4"),
]

# The dates that -sm finds: the photo's Exif DateTimeOriginal with its
# sub-seconds at +02:00 (21:25:37.457 here), the video's mvhd creation date in
# whole seconds, UTC (12:04:05 here); both odd seconds, so that vfat cuts them.
PHOTO_TAKEN = ("2015:06:20 14:25:37", "457", "+02:00")
PHOTO_NS = (calendar.timegm((2015, 6, 20, 12, 25, 37)) * SECOND + 457 * 10**6)
VIDEO_UTC = (2016, 9, 10, 3, 4, 5)
VIDEO_NS = calendar.timegm(VIDEO_UTC) * SECOND


def local_ns(year, month, day, hour=0, minute=0, second=0, fraction=0):
    """A local time (fraction in 100 ns ticks) as nanoseconds since 1970 UTC."""
    seconds = calendar.timegm((year, month, day, hour, minute, second)) - OFFSET
    return seconds * SECOND + fraction * 100


def text_ns(text):
    """"2011-03-15 12:34:57.1234567" (local, 0 to 7 sub-second digits)."""
    m = re.fullmatch(r"(\d+)-(\d+)-(\d+) (\d+):(\d+):(\d+)(?:\.(\d{1,7}))?", text)
    if not m:
        return None
    fraction = int((m.group(7) or "").ljust(7, "0"))
    return local_ns(*map(int, m.groups()[:6]), fraction)


def shown(ns):
    if ns is None:
        return "-"
    seconds, nanos = divmod(ns + OFFSET * SECOND, SECOND)
    return "%s.%09d" % (
        "%04d-%02d-%02d %02d:%02d:%02d" % tuple(__import__("time").gmtime(seconds)[:6]),
        nanos,
    )


def cut(ns, step, zone=OFFSET):
    """What the volume keeps of `ns`: cut towards the past to its step."""
    if step == "day":
        local = ns + zone * SECOND
        return local - local % (86400 * SECOND) - zone * SECOND
    return ns - ns % step


def media(folder):
    """A one-pixel baseline JPEG dated by exiftool, and an MP4 of an ftyp and a
    moov box holding only its mvhd."""
    os.makedirs(folder, exist_ok=True)
    photo = os.path.join(folder, "photo.jpg")
    with open(photo, "wb") as out:
        out.write(bytes.fromhex(
            "ffd8" "ffdb004300" + "01" * 64 + "ffc0000b080001000101011100"
            "ffc4001400" "01" + "00" * 16 + "ffc4001410" "01" + "00" * 16 +
            "ffda0008010100003f00" "00" "ffd9"))
    taken, subseconds, offset = PHOTO_TAKEN
    subprocess.run(["exiftool", "-q", "-overwrite_original", "-DateTimeOriginal=" + taken,
                    "-SubSecTimeOriginal=" + subseconds, "-OffsetTimeOriginal=" + offset,
                    photo], check=True)

    def box(kind, body):
        return struct.pack(">I", 8 + len(body)) + kind + body

    since_1904 = calendar.timegm(VIDEO_UTC) + 2082844800
    mvhd = (struct.pack(">B3xIIII", 0, since_1904, since_1904, 1000, 0) +
            struct.pack(">IH", 0x10000, 0x100) + bytes(10) +
            struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000) +
            bytes(24) + struct.pack(">I", 2))
    with open(os.path.join(folder, "clip.mp4"), "wb") as out:
        out.write(box(b"ftyp", b"isom" + struct.pack(">I", 512) + b"isomiso2mp41") +
                  box(b"moov", box(b"mvhd", mvhd)))


def guest():
    def q(text):
        return "'" + text.replace("'", "'\\''") + "'"

    lines = [
        "#!/bin/busybox sh",
        "/bin/busybox --install -s /bin",
        "mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev",
        "for m in fat vfat exfat nls_ascii nls_cp437 nls_utf8 loop; do",
        '  insmod /modules/$m.ko || echo "@@fail insmod $m"',
        "done",
        "export TZ=JST-9 HOME=/root PATH=/bin LANG=C.UTF-8",
        "mkdir -p /v /root",
        'disk() { umount /v && mount -t "$type" -o "$opts" /dev/loop0 /v'
        ' || echo "@@fail remount $vol"; echo "@@disk"; (cd /v && fat_probe get %s)'
        " | sed 's/^/@@d /'; }" % " ".join(FILES),
        'step() { echo "@@step $1"; (cd /v && sh -c "$2") >/tmp/o 2>/tmp/e; echo "@@rc $?";'
        " sed 's/^/@@o /' /tmp/o; sed 's/^/@@e /' /tmp/e; disk; }",
    ]
    for vol, fstype, opts, steps in VOLUMES:
        m_step = steps["m"]
        # Written 2012-07-08 09:10:10 local; changed afterwards by half the
        # volume's step upwards (the volume keeps what the run wrote) and
        # downwards (the volume keeps one step less).
        written = local_ns(2012, 7, 8, 9, 10, 10)
        within, beyond = written + m_step // 2, written - m_step // 2
        lines += [
            "vol=%s type=%s opts=%s" % (vol, fstype, opts),
            'echo "@@volume $vol"',
            "export XDG_STATE_HOME=/state/$vol XDG_CONFIG_HOME=/config/$vol",
            "losetup /dev/loop0 /images/$vol.img || echo \"@@fail losetup $vol\"",
            'mount -t "$type" -o "$opts" /dev/loop0 /v || echo "@@fail mount $vol"',
            "(cd /v && mkdir d1 && touch %s && cp %s .)" % (
                " ".join(f for f in FILES if f not in MEDIA + ["d1"]),
                " ".join("/media/" + f for f in MEDIA)),
            'echo "@@step start"',
            "disk",
        ]
        for name, command in STEPS:
            command = command.format(within="%d.%09d" % divmod(within, SECOND),
                                     beyond="%d.%09d" % divmod(beyond, SECOND))
            lines.append("step %s %s" % (q(name), q(command)))
        lines += ["umount /v", "losetup -d /dev/loop0"]
    lines += ['echo "@@end"', "poweroff -f"]
    print("\n".join(lines))


def read_log(path):
    """The console, as {volume: {step: {"rc", "out", "err", "disk"}}} and failures."""
    volumes, failures, order = {}, [], {}
    vol = step = None
    ended = False
    with open(path, encoding="utf-8", errors="replace") as log:
        for raw in log:
            # The first line may follow the firmware's escape sequences.
            at = raw.find("@@")
            if at < 0:
                continue
            line = raw[at:].rstrip("\r\n")
            word, _, rest = line[2:].partition(" ")
            if word == "volume":
                vol = rest
                volumes[vol] = {}
                order[vol] = []
            elif word == "step":
                step = rest
                volumes[vol][step] = {"rc": None, "out": [], "err": [], "disk": {}}
                order[vol].append(step)
            elif word == "rc":
                volumes[vol][step]["rc"] = int(rest)
            elif word in ("o", "e"):
                volumes[vol][step]["out" if word == "o" else "err"].append(rest)
            elif word == "d":
                fields = rest.split()
                if len(fields) != 4:
                    failures.append("unreadable probe line: " + rest)
                    continue
                values = [None if f == "-" else int(f.replace(".", "")) for f in fields[1:]]
                volumes[vol][step]["disk"][fields[0]] = dict(zip("mac", values))
            elif word == "fail":
                failures.append(rest)
            elif word == "end":
                ended = True
    if not ended:
        failures.append("the guest did not reach its end")
    return volumes, failures


def preview(record, name, kind):
    """The old and new values that a preview showed for item `name`."""
    label = KIND_NAMES[kind]
    lines = record["out"]
    for i, line in enumerate(lines):
        if line == "変更されます。(%s)" % name:
            for value_line in lines[i + 1:]:
                m = re.fullmatch(r"  (\S+): (.+?) → (.+)", value_line)
                if not m:
                    break
                if m.group(1) == label:
                    return text_ns(m.group(2)), text_ns(m.group(3))
    return None, None


def restore_values(record):
    """{(file, kind): value} from restore lines (-ixg? -zo+09:00 -d:... -t:... path)."""
    values = {}
    for line in record["out"]:
        m = re.fullmatch(r"-ixg([wac]) -zo\+09:00 -d:(\S+) -t:(\S+) /v/(\S+)", line)
        if m:
            values[(m.group(4), m.group(1).replace("w", "m"))] = text_ns(m.group(2) + " " + m.group(3))
    return values


def checks_of(vol, steps, records):
    """Rows: (check, item, kind, program, disk, expected, pass)."""
    rows = []

    def disk(step, name, kind):
        return records[step]["disk"].get(name, {}).get(kind)

    def row(check, name, kind, program, on_disk, expected):
        ok = on_disk == expected and (program is None or program == on_disk or check.startswith("-zr0"))
        if check.startswith("-zr0") and program is not None:
            ok = ok and program == RAW
        rows.append((check, name, kind, program, on_disk, expected, ok))

    def rc(check, step, want):
        got = records[step]["rc"]
        rows.append((check, "", "rc", got, None, want, got == want))

    RAW = local_ns(2011, 3, 15, 12, 34, 57, 1234567)
    # Date and time given: what the preview announced is on the disk and
    # follows the volume's rule; the next preview reads back the same.
    for kind in "ma":
        rows_new = preview(records["override?"], "f1", kind)[1]
        row("-d -t", "f1", kind, rows_new, disk("override", "f1", kind), cut(RAW, steps[kind], steps["zone"]))
        row("read back", "f1", kind, preview(records["read"], "f1", kind)[0],
            disk("override", "f1", kind), cut(RAW, steps[kind], steps["zone"]))
    # A folder: the same rules.
    for kind in "ma":
        row("folder", "d1", kind, preview(records["folder?"], "d1", kind)[1],
            disk("folder", "d1", kind), cut(RAW, steps[kind], steps["zone"]))
    # The creation stamp as the program reads it (copied with -zr0) and as
    # the volume keeps it: 10 ms steps.
    created = disk("start", "f1", "c")
    row("read back", "f1", "c", preview(records["read"], "f1", "m")[1], disk("read", "f1", "c"),
        None if created is None else cut(created, steps["c"]))
    # A shift of the modification stamp by 1 h 15 ms.
    base = disk("override", "f1", "m")
    for kind in "ma":
        row("-sw -t+", "f1", kind, preview(records["shift?"], "f1", kind)[1],
            disk("shift", "f1", kind), cut(base + 3600 * SECOND + 15 * 10**6, steps[kind], steps["zone"]))
    # -zr0: nothing cut by the program; the volume still cuts.
    for kind in "ma":
        row("-zr0", "f2", kind, preview(records["zr0?"], "f2", kind)[1], disk("zr0", "f2", kind),
            cut(RAW, steps[kind], steps["zone"]))
    for mode in ("zr1", "zr2"):
        value = local_ns(2011, 3, 16, 8, 9, 11, 9876540)
        for kind in "ma":
            row("-" + mode, "f3", kind, preview(records[mode + "?"], "f3", kind)[1],
                disk(mode, "f3", kind), cut(value, steps[kind], steps["zone"]))
    # An unknown stamp is 1980-01-01 00:00 local: east of UTC that lies
    # before what a volume at UTC holds, which keeps 1980-01-01 00:00 UTC.
    unknown = max(local_ns(1980, 1, 1), (315532800 - steps["zone"]) * SECOND)
    for kind in "ma":
        shown_new = preview(records["-dU?"], "f4", kind)[1]
        row("-dU", "f4", kind, shown_new, disk("-dU", "f4", kind), unknown)
    # Restore lines written on the volume: their values are the disk's; read
    # back after a change, they set the same values again.
    saved = restore_values(records["-e"])
    rc("-e", "-e", 0)
    for name in ("f1", "f2", "f3", "f4"):
        for kind in "ma":
            row("-e line", name, kind, saved.get((name, kind)), disk("-e", name, kind),
                disk("-e", name, kind))
            row("@r.txt", name, kind, None, disk("@r.txt", name, kind), disk("-e", name, kind))
    rc("@r.txt", "@r.txt", 0)
    # The creation stamp cannot be set natively: no creation line, and a
    # change that includes it leaves the item as it was.
    rc("-e -c", "-e -c", 2)
    rows.append(("-e -c", "f4", "c", None, None, None,
                 not any(line.startswith("-ixgc") for line in records["-e -c"]["out"])))
    rc("-c", "-c", 2)
    for kind in "mac":
        row("-c refused", "f4", kind, None, disk("-c", "f4", kind), disk("@r.txt", "f4", kind))
    # -Undo gives back exactly what the item had.
    rc("-Undo", "-Undo", 0)
    for kind in "mac":
        row("-Undo", "f5", kind, None, disk("-Undo", "f5", kind), disk("-c", "f5", kind))
    # Changed since the run by half a step: upwards the volume keeps what
    # the run wrote (unchanged: taken back); downwards it keeps one step
    # less (changed: kept, with a warning).
    written = local_ns(2012, 7, 8, 9, 10, 10)
    row("within step", "f6", "m", None, disk("within set", "f6", "m"), written)
    rc("within -Undo", "within -Undo", 0)
    row("within -Undo", "f6", "m", None, disk("within -Undo", "f6", "m"), disk("-Undo", "f6", "m"))
    step = steps["m"]
    row("beyond step", "f7", "m", None, disk("beyond set", "f7", "m"), written - step)
    rc("beyond -Undo", "beyond -Undo", 2)
    rows.append(("beyond -Undo", "f7", "warn", None, None, None,
                 any(CHANGED in line for line in records["beyond -Undo"]["err"])))
    row("beyond -Undo", "f7", "m", None, disk("beyond -Undo", "f7", "m"), written - step)
    # -sm: the date the photo was taken and the video's creation date, as
    # the preview announced them, on the disk, cut as the volume cuts.
    rc("-sm", "-sm", 0)
    for name, taken in (("photo.jpg", PHOTO_NS), ("clip.mp4", VIDEO_NS)):
        row("-sm", name, "m", preview(records["-sm?"], name, "m")[1], disk("-sm", name, "m"),
            cut(taken, step))
    return rows


def check(path):
    volumes, failures = read_log(path)
    bad = len(failures)
    for failure in failures:
        print("FAIL: " + failure)
    for vol, _, _, steps in VOLUMES:
        records = volumes.get(vol)
        if not records or any(name not in records for name, _ in STEPS):
            print("FAIL: volume %s: steps missing" % vol)
            bad += 1
            continue
        try:
            rows = checks_of(vol, steps, records)
        except (KeyError, TypeError) as error:
            print("FAIL: volume %s: %r" % (vol, error))
            bad += 1
            continue
        print("\n== %s, mounted with %s (local time +09:00; m modification, a access, "
              "c creation)" % (vol, [v for v in VOLUMES if v[0] == vol][0][2]))
        print("%-13s %-9s %-4s %-29s %-29s %-29s %s" % ("check", "", "", "program", "disk",
                                                         "expected", ""))
        for check_name, name, kind, program, on_disk, expected, ok in rows:
            if kind in ("rc",):
                cells = (str(program), "", str(expected))
            elif kind == "warn" or (kind == "c" and check_name == "-e -c"):
                cells = ("", "", "")
            else:
                cells = (shown(program) if program is not None else "", shown(on_disk),
                         shown(expected))
            print("%-13s %-9s %-4s %-29s %-29s %-29s %s" % ((check_name, name, kind) + cells +
                                                            ("ok" if ok else "DIFFERS",)))
            bad += not ok
        for name, _ in STEPS:
            if records[name]["rc"] not in (0, 2):
                print("   step %s: exit code %s: %s" % (name, records[name]["rc"],
                                                        " | ".join(records[name]["err"])))
    print("\n%s" % ("all checks agree" if bad == 0 else "%d difference(s)" % bad))
    return 1 if bad else 0


if __name__ == "__main__":
    if sys.argv[1:] == ["guest"]:
        guest()
    elif len(sys.argv) == 3 and sys.argv[1] == "media":
        media(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2]))
    else:
        sys.exit("usage: fat_volumes.py guest | media DIR | check LOG")
