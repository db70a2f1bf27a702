#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target (or only the targets
# named after SECONDS) for SECONDS each, default 20. Each target starts from
# its committed seeds in fuzz/corpus/<target>/ and a work corpus of its own in
# build/fuzz/corpus/<target>/. Fails when any target finds a crash, a
# sanitizer report, a broken property, a hang or a leak; the input that did
# it is kept in build/fuzz/findings/ and the log's tail is shown.
#
#   scripts/fuzz.sh [SECONDS] [TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."
target=
log=
# Whatever stops this script names the target it was at and shows its log.
trap 'status=$?; echo "fuzz.sh: stopped (exit $status) at line $LINENO, target: ${target:-none}" >&2
      if [ -n "$log" ] && [ -f "$log" ]; then tail -n 40 "$log" >&2; fi' ERR

seconds=${1:-20}
shift $(($# > 0 ? 1 : 0))

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for binary in build/fuzz/fuzz/fuzz_*; do
    targets+=("$(basename "$binary" | sed 's/^fuzz_//')")
  done
fi

mkdir -p build/fuzz/findings build/fuzz/logs
failed=()
printf '%-20s %12s %8s  %s\n' target executions coverage result
for target in "${targets[@]}"; do
  binary=build/fuzz/fuzz/fuzz_$target
  seeds=fuzz/corpus/$target
  work=build/fuzz/corpus/$target
  log=build/fuzz/logs/$target.log
  if [ ! -x "$binary" ] || [ ! -d "$seeds" ]; then
    echo "no fuzz target or seed folder for '$target'" >&2
    failed+=("$target")
    continue
  fi
  mkdir -p "$work"
  result=ok
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$target-" \
      "$work" "$seeds" >"$log" 2>&1; then
    result=FINDING
    failed+=("$target")
  fi
  # A target that fails on a seed stops before its first coverage line: the
  # figures may be missing, and that is no reason to stop here.
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  printf '%-20s %12s %8s  %s\n' "$target" "${executions:--}" "${coverage:--}" "$result"
  if [ "$result" != ok ]; then
    echo "== $target: the last lines of $log" >&2
    tail -n 40 "$log" >&2
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in build/fuzz/findings/)" >&2
  exit 1
fi
