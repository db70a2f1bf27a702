#!/usr/bin/env bash
# Times the native program against find + touch on one tree of 100 folders of
# 1,000 empty files each, both setting every *.txt to the same date and time.
# Not a test: run it by hand on an otherwise quiet machine.
#   scripts/bench.sh [path to kelvard]   (default: build/native/kelvard)
set -euo pipefail
cd "$(dirname "$0")/.."

exe="${1:-build/native/kelvard}"
if [ ! -x "$exe" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native -j2 --target kelvard >/dev/null
fi
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"

work="$(mktemp -d "${TMPDIR:-/tmp}/kelvard-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
tree="$work/tree"

echo "== building the tree: 100 folders x 1,000 files in $tree"
for d in $(seq -w 1 100); do
  mkdir -p "$tree/d$d"
  (cd "$tree/d$d" && seq -f 'f%04g.txt' 1 1000 | xargs touch)
done

# Each run first brings the stamps to another value, so that both tools
# really change something, and warms the cache the same way for both.
reset_stamps() { find "$tree" -name '*.txt' -exec touch -d '2001-02-03 04:05' {} +; }

seconds() { # runs "$@", prints the elapsed time in seconds
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}

# Every *.txt must carry the new stamp, and nothing else.
check_stamps() {
  local expected stamps
  expected="$(date -d '2020-01-01 12:00' +%s).0000000000"
  stamps=$(find "$tree" -name '*.txt' -printf '%T@\n' | sort -u)
  if [ "$stamps" != "$expected" ]; then
    echo "!! $1 left other stamps: $(echo "$stamps" | head -3 | tr '\n' ' ')" >&2
    exit 1
  fi
}

# The journal of the runs goes to the work folder, not to the user's own.
export XDG_STATE_HOME="$work/state"
run_kelvard() { "$exe" -r -d2020-01-01 -t12:00 "$tree/*.txt" >/dev/null 2>&1; }
run_kelvard_unjournaled() { "$exe" -zj0 -r -d2020-01-01 -t12:00 "$tree/*.txt" >/dev/null 2>&1; }
run_find() { find "$tree" -name '*.txt' -exec touch -d '2020-01-01 12:00' {} +; }

reset_stamps
t_kelvard=$(seconds run_kelvard)
check_stamps kelvard
reset_stamps
t_unjournaled=$(seconds run_kelvard_unjournaled)
check_stamps "kelvard -zj0"
reset_stamps
t_find=$(seconds run_find)
check_stamps find

echo "kelvard:     $t_kelvard s"
echo "  -zj0:      $t_unjournaled s (without the journal)"
echo "find+touch:  $t_find s"
awk -v k="$t_kelvard" -v f="$t_find" 'BEGIN { printf "ratio:       %.2f (target: at most 0.70)\n", k / f }'
awk -v k="$t_kelvard" -v u="$t_unjournaled" \
  'BEGIN { printf "journal:     %+.0f %% (target: at most +10 %%)\n", (k / u - 1) * 100 }'
