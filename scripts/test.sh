#!/usr/bin/env bash
# Installs what the tests need, builds both builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
need_packages cmake make g++ googletest libgtest-dev g++-mingw-w64-x86-64-posix wine wine64 locales python3 \
  dpkg-dev groff-base man-db lintian clang libclang-rt-dev \
  libimage-exiftool-perl libheif-examples

# Wine garbles non-ASCII arguments without the glibc locale ja_JP.UTF-8.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "== generating the locale ja_JP.UTF-8"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

jobs=$(nproc)

echo "== include layers"
python3 scripts/check_layers.py

# The ci-* presets build the tests too and treat warnings as errors; the
# plain presets build the programs alone.

echo "== native build"
cmake --preset ci-native >/dev/null
cmake --build --preset ci-native -j"$jobs"
ctest --preset ci-native -j"$jobs"

# The native program on real vfat and exFAT volumes (Linux's own drivers,
# booted under QEMU): about a minute.
echo "== FAT and exFAT volumes"
scripts/fat_volumes.sh build/ci-native/kelvard

# A short fuzzing pass over every reader and round trip: a regression in a
# reader shows at once. Longer runs: scripts/fuzz.sh SECONDS.
if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzzing, ${KELVARD_FUZZ_SECONDS:-15} s per target"
  scripts/fuzz.sh "${KELVARD_FUZZ_SECONDS:-15}"
fi

echo "== Windows build"
cmake --preset ci-windows >/dev/null
cmake --build --preset ci-windows -j"$jobs"
export WINEPREFIX="$PWD/build/ci-windows/wineprefix"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix"
  wine wineboot -i </dev/null >"$PWD/build/ci-windows/wineboot.log" 2>&1 || true
  wineserver -w || true
fi
# Start the server and Wine's own services apart from the test runner's pipes:
# a process that inherited them would keep the runner waiting.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >>"$PWD/build/ci-windows/wineboot.log" 2>&1 || true
ctest --preset ci-windows -j"$jobs"
