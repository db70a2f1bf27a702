#!/usr/bin/env bash
# Builds both programs without their tests, in build folders of their own, and
# packs them into build/packages: kelvard_<version>_amd64.deb (the native build)
# and Kelvard-<version>-win64.zip (the Windows build).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in native windows; do
  echo "== $preset"
  cmake --preset "$preset" -B "build/package-$preset" >/dev/null
  cmake --build "build/package-$preset" -j"$jobs"
  (cd "build/package-$preset" && cpack -B "$PWD/../packages")
done
rm -rf build/packages/_CPack_Packages
# Debian's checks of the package: any error fails (warnings are shown).
if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error build/packages/kelvard_*_amd64.deb
else
  echo "lintian is not installed: the Debian package is not checked" >&2
fi
ls -l build/packages/*.deb build/packages/*.zip
