#!/usr/bin/env bash
# Runs a Windows program under the project's Wine: wine-run PREFIX DLLPATH program.exe [args]
# (CMake's cross-compiling emulator for the Windows test programs).
# A 32-bit program on a machine whose Wine cannot run it exits 77 with the reason
# (wine32_skip), which the tests declare as a skip.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env "$1" "$2"
shift 2
wine32_skip "$1" && exit 77
# Windows need an X display: the test run's Xvfb (scripts/wineserver-ctl.sh) unless one is set.
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.display" ]; then
  export DISPLAY=$(cat "$WINEPREFIX/.display")
fi
# Wine's helper processes (the desktop, services) inherit the program's output; if that is
# CTest's pipe, CTest waits for them. Collect the output in a file instead.
out=$(mktemp)
/usr/bin/wine "$@" </dev/null >"$out" 2>&1
rc=$?
# Now and then Wine fails to start a program at all (no output, an error exit); the
# programs run here always print something, so such a run is tried once more.
if [ $rc -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine-run.sh: $1 did not start (exit $rc), trying once more" >&2
  /usr/bin/wine "$@" </dev/null >"$out" 2>&1
  rc=$?
fi
cat "$out"
rm -f "$out"
exit $rc
