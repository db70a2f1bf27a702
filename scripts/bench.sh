#!/usr/bin/env bash
# Times the native program side by side, in one run, on one tree of 100
# folders of 1,000 empty files each, every run setting the modification stamp
# of every *.txt to the same date and time:
#   find+touch        find <tree> -name '*.txt' -exec touch -d ... {} +
#   kelvard           kelvard -r -d... -t... '<tree>/*.txt' (threads: one per processor, up to 8)
#   kelvard -zp1      the same on one thread
#   kelvard -zj0      the same without the undo journal, where the program keeps one
#   -zp1 -zj0         on one thread without the journal: the floor's own system calls
#   floor             scripts/floor_walker.c: the same system calls and nothing else
# Each is run ROUNDS times (default 5) in turn; the medians are compared.
# Then, where exiftool is installed, on 5,000 JPEGs each with its own Exif
# date (MEDIA_ROUNDS times, default 3), the photos given back the date they
# were taken:
#   exiftool          exiftool '-FileModifyDate<DateTimeOriginal' <folder>
#   kelvard -sm       kelvard -sm '<folder>/*.jpg'
# PARTS picks the parts ("stamps media", the default; "media" alone).
# Not a test: run it by hand on an otherwise quiet machine.
#   scripts/bench.sh [path to kelvard]   (default: build/native/kelvard)
set -euo pipefail
cd "$(dirname "$0")/.."

exe="${1:-build/native/kelvard}"
if [ ! -x "$exe" ] || [ -n "$(find src -newer "$exe" -print -quit 2>/dev/null)" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native -j"$(nproc)" --target kelvard >/dev/null
fi
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"
rounds="${ROUNDS:-5}"

work="$(mktemp -d "${TMPDIR:-/tmp}/kelvard-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
floor="$work/floor_walker"
parts="${PARTS:-stamps media}"

# -- photos given back the date they were taken: kelvard -sm against exiftool
media_part() {
  if ! command -v exiftool >/dev/null; then
    echo "== media: exiftool is not installed (libimage-exiftool-perl); skipped"
    return
  fi
  local photos="$work/photos" rounds="${MEDIA_ROUNDS:-3}" i t
  echo "== building 5,000 JPEGs, each with its own Exif date, in $photos"
  mkdir -p "$photos"
  python3 - "$photos" <<'PY'
import os, subprocess, sys, datetime
folder = sys.argv[1]
# A 1x1 baseline JPEG, dated by exiftool once; the copies differ in their date.
jpeg = (b"\xff\xd8" + b"\xff\xdb\x00\x43\x00" + bytes([1] * 64) +
        b"\xff\xc0\x00\x0b\x08\x00\x01\x00\x01\x01\x01\x11\x00" +
        b"\xff\xc4\x00\x14\x00" + bytes([1] + [0] * 15) + b"\x00" +
        b"\xff\xc4\x00\x14\x10" + bytes([1] + [0] * 15) + b"\x00" +
        b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00" + b"\x00\x00\xff\xd9")
template = os.path.join(folder, "template.jpg")
with open(template, "wb") as f:
    f.write(jpeg)
subprocess.run(["exiftool", "-q", "-overwrite_original",
                "-DateTimeOriginal=2000:01:01 00:00:00", template], check=True)
data = open(template, "rb").read()
os.remove(template)
assert data.count(b"2000:01:01 00:00:00") == 1
start = datetime.datetime(2015, 1, 1)
for i in range(5000):
    date = (start + datetime.timedelta(hours=7 * i, seconds=i)).strftime("%Y:%m:%d %H:%M:%S")
    with open(os.path.join(folder, "p%04d.jpg" % i), "wb") as f:
        f.write(data.replace(b"2000:01:01 00:00:00", date.encode()))
PY
  reset_photos() { find "$photos" -name '*.jpg' -exec touch -d '2001-02-03 04:05' {} +; }
  listing() { find "$photos" -name '*.jpg' -printf '%f %T@\n' | sort; }
  run_exiftool() { exiftool -q -q '-FileModifyDate<DateTimeOriginal' "$photos" >/dev/null 2>&1; }
  run_media() { "$exe" -sm "$photos/*.jpg" >/dev/null 2>&1; }
  local mruns=(run_exiftool run_media) mlabels=("exiftool" "kelvard -sm")
  declare -A mtimes
  local reference=""
  for round in $(seq 1 "$rounds"); do
    for i in "${!mruns[@]}"; do
      reset_photos
      sync
      t=$(seconds "${mruns[$i]}")
      # Both must give every photo the same stamp.
      if [ -z "$reference" ]; then
        reference="$(listing)"
      elif [ "$(listing)" != "$reference" ]; then
        echo "!! ${mlabels[$i]} gave other stamps than exiftool" >&2
        exit 1
      fi
      mtimes[$i]="${mtimes[$i]:-} $t"
    done
  done
  local m0 m1
  m0=$(echo "${mtimes[0]}" | median)
  m1=$(echo "${mtimes[1]}" | median)
  echo "== medians of $rounds rounds over 5,000 JPEGs ($(nproc) processors)"
  printf '%-14s %s s   (%s)\n' exiftool "$m0" "$(echo ${mtimes[0]})"
  printf '%-14s %s s   (%s)\n' "kelvard -sm" "$m1" "$(echo ${mtimes[1]})"
  echo "kelvard -sm / exiftool:     $(ratio "$m1" "$m0")   (target: at most 0.02)"
}
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a / b }'; }
seconds() { # runs "$@", prints the elapsed time in seconds
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}
export XDG_STATE_HOME="$work/state"
if [[ " $parts " != *" stamps "* ]]; then
  media_part
  exit 0
fi

cc -O2 -o "$floor" scripts/floor_walker.c

echo "== building the tree: 100 folders x 1,000 files in $tree"
for d in $(seq -w 1 100); do
  mkdir -p "$tree/d$d"
  (cd "$tree/d$d" && seq -f 'f%04g.txt' 1 1000 | xargs touch)
done

# Each run first brings the stamps to another value, so that every tool
# really changes something, and warms the cache the same way for all.
reset_stamps() { find "$tree" -name '*.txt' -exec touch -d '2001-02-03 04:05' {} +; }

# Every *.txt must carry the new stamp, and nothing else.
expected="$(date -d '2020-01-01 12:00' +%s)"
check_stamps() {
  local stamps
  stamps=$(find "$tree" -name '*.txt' -printf '%T@\n' | sort -u)
  if [ "$stamps" != "$expected.0000000000" ]; then
    echo "!! $1 left other stamps: $(echo "$stamps" | head -3 | tr '\n' ' ')" >&2
    exit 1
  fi
}

run_find() { find "$tree" -name '*.txt' -exec touch -d '2020-01-01 12:00' {} +; }
run_kelvard() { "$exe" -r -d2020-01-01 -t12:00 "$tree/*.txt" >/dev/null 2>&1; }
run_serial() { "$exe" -zp1 -r -d2020-01-01 -t12:00 "$tree/*.txt" >/dev/null 2>&1; }
run_nojournal() { "$exe" -zj0 -r -d2020-01-01 -t12:00 "$tree/*.txt" >/dev/null 2>&1; }
run_serial_nojournal() { "$exe" -zp1 -zj0 -r -d2020-01-01 -t12:00 "$tree/*.txt" >/dev/null 2>&1; }
run_floor() { "$floor" "$tree" '*.txt' "$expected"; }

runs=(run_find run_kelvard run_serial run_floor)
labels=("find+touch" "kelvard" "kelvard -zp1" "floor")
# The journal switch exists where the program keeps an undo journal.
if "$exe" -zj0 -v "$tree/d001/f0001.txt" >/dev/null 2>&1; then
  runs+=(run_nojournal run_serial_nojournal)
  labels+=("kelvard -zj0" "-zp1 -zj0")
  export XDG_STATE_HOME="$work/state"
fi

declare -A times
for round in $(seq 1 "$rounds"); do
  for i in "${!runs[@]}"; do
    reset_stamps
    # What the run before left for the disk (stamps, a journal) is written
    # out first: no run pays for another's writes.
    sync
    t=$(seconds "${runs[$i]}")
    check_stamps "${labels[$i]}"
    times[$i]="${times[$i]:-} $t"
  done
done

declare -A med
echo "== medians of $rounds rounds ($(nproc) processors)"
for i in "${!runs[@]}"; do
  med[$i]=$(echo "${times[$i]}" | median)
  printf '%-14s %s s   (%s)\n' "${labels[$i]}" "${med[$i]}" "$(echo ${times[$i]})"
done
echo "kelvard / find+touch:       $(ratio "${med[1]}" "${med[0]}")   (target: at most 0.55)"
echo "kelvard -zp1 / floor:       $(ratio "${med[2]}" "${med[3]}")   (target: at most 1.10)"
if [ -n "${med[4]:-}" ]; then
  echo "kelvard / kelvard -zj0:     $(ratio "${med[1]}" "${med[4]}")   (the journal's cost; target: at most 1.10)"
  echo "-zp1 / -zp1 -zj0:           $(ratio "${med[2]}" "${med[5]}")   (the journal's cost on one thread)"
  echo "-zp1 -zj0 / floor:          $(ratio "${med[5]}" "${med[3]}")   (the same system calls as the floor)"
fi
if [[ " $parts " == *" media "* ]]; then
  media_part
fi
