#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: code page 932, no Wine
# diagnostics, a prefix of its own inside the build tree.
set -e
exe="$1"
shift
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(cd "$(dirname "$exe")" && pwd)/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL="${KELVARD_WINE_LC_ALL:-ja_JP.UTF-8}"
mkdir -p "$WINEPREFIX"
# The server must not inherit the caller's pipes, or a reader waiting for the
# end of the output would wait for the server too.
wineserver -p </dev/null >/dev/null 2>&1 || true
exec wine "$exe" "$@"
