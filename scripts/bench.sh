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
cc -O2 -o "$floor" scripts/floor_walker.c

echo "== building the tree: 100 folders x 1,000 files in $tree"
for d in $(seq -w 1 100); do
  mkdir -p "$tree/d$d"
  (cd "$tree/d$d" && seq -f 'f%04g.txt' 1 1000 | xargs touch)
done

# Each run first brings the stamps to another value, so that every tool
# really changes something, and warms the cache the same way for all.
reset_stamps() { find "$tree" -name '*.txt' -exec touch -d '2001-02-03 04:05' {} +; }

seconds() { # runs "$@", prints the elapsed time in seconds
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}

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

median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
declare -A med
echo "== medians of $rounds rounds ($(nproc) processors)"
for i in "${!runs[@]}"; do
  med[$i]=$(echo "${times[$i]}" | median)
  printf '%-14s %s s   (%s)\n' "${labels[$i]}" "${med[$i]}" "$(echo ${times[$i]})"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "kelvard / find+touch:       $(ratio "${med[1]}" "${med[0]}")   (target: at most 0.55)"
echo "kelvard -zp1 / floor:       $(ratio "${med[2]}" "${med[3]}")   (target: at most 1.10)"
if [ -n "${med[4]:-}" ]; then
  echo "kelvard / kelvard -zj0:     $(ratio "${med[1]}" "${med[4]}")   (the journal's cost; target: at most 1.10)"
  echo "-zp1 / -zp1 -zj0:           $(ratio "${med[2]}" "${med[5]}")   (the journal's cost on one thread)"
  echo "-zp1 -zj0 / floor:          $(ratio "${med[5]}" "${med[3]}")   (the same system calls as the floor)"
fi
