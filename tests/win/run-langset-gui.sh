#!/usr/bin/env bash
# Runs the switcher's GUI tests in a Wine session of their own on a fresh Xvfb display:
#   run-langset-gui.sh PREFIX DLLPATH TESTS.exe KSTRLangSet.exe [gtest arguments]
# With KSTR_LANGSET_SHOT=FILE.png it instead shows the dialog and saves a screenshot of the
# display to FILE.png and of the dialog alone to FILE-dialog.png. Exits 77 when Wine cannot run the 32-bit programs on this machine.
# With KSTR_DPI=N the display is scaled to N DPI, in the prefix PREFIX-dpiN (scripts/wine-prefix.sh --gui) on a
# screen of 1024 x 768 scaled alike.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix=$1 dllpath=$2 tests=$3 langset=$4
shift 4

. "$root/scripts/wine-env.sh"
wine32_skip "$langset" "the switcher's dialog" && exit 77
for tool in xvfb-run import convert; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (scripts/bootstrap.sh installs it)"; exit 1; }
done

dpi=${KSTR_DPI:-96}
screen=1024x768
if [ "$dpi" != 96 ]; then
  prefix="$prefix-dpi$dpi"
  screen="$((1024 * dpi / 96))x$((768 * dpi / 96))"
fi

# The GUI sessions' prefix (system fonts of a Chinese Windows), created once under a lock.
gui_prefix "$prefix" "$dpi" || { echo "FAIL: cannot create the Wine prefix $prefix"; exit 1; }

export KSTR_LANGSET_EXE=$(winpath "$langset")
# Each run in a Wine session of its own on its own display.
session="$root/scripts/in-session.sh"

if [ -z "${KSTR_LANGSET_SHOT:-}" ]; then
  xvfb-run -a -s "-screen 0 ${screen}x24" "$session" "$prefix" "$dllpath" "$tests" "$@"
  exit $?
fi

# Screenshot: the test shows the dialog and waits; this side photographs the display.
shot=$KSTR_LANGSET_SHOT
sync=$(mktemp -d)
export KSTR_LANGSET_SYNC=$(winpath "$sync")
mkdir -p "$(dirname "$shot")"
xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
  "$4" "$5" "$6" "$1" --gtest_filter=LangSetGui.DISABLED_ShowForScreenshot --gtest_also_run_disabled_tests &
  run=$!
  for _ in $(seq 300); do [ -f "$2/ready" ] && break; sleep 0.1; done
  if [ -f "$2/ready" ]; then
    sleep 0.5  # let the dialog finish painting
    read -r x y w h <"$2/ready"
    import -window root "$3" && convert "$3" -crop "${w}x${h}+${x}+${y}" +repage "${3%.png}-dialog.png" &&
      touch "$2/shot-taken"
  fi
  touch "$2/done"
  wait $run
'  _ "$tests" "$sync" "$shot" "$session" "$prefix" "$dllpath"
rc=$?
[ -f "$sync/shot-taken" ] || { echo "FAIL: no screenshot was taken"; rc=1; }
rm -rf "$sync"
[ $rc -eq 0 ] && echo "screenshot: $shot"
exit $rc
