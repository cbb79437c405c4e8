#!/usr/bin/env bash
# Runs a Windows program in a Wine session of its own on the current X display, then ends
# the session (no Wine process outlives the command):
#   in-session.sh PREFIX DLLPATH program.exe [args]
# The prefix must exist (scripts/wine-prefix.sh). The program's output is shown as it
# comes, through a file: Wine's helper processes must never hold the caller's pipe.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env "$1" "$2"
shift 2
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1 &
pid=$!
# Wine writes its console output with CRLF line ends.
tail -n +1 -f --pid=$pid "$out" | tr -d '\r'
wait $pid
rc=$?
wineserver -k </dev/null >/dev/null 2>&1
wineserver -w </dev/null >/dev/null 2>&1
rm -f "$out"
exit $rc
