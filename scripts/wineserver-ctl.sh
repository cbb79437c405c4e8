#!/usr/bin/env bash
# wineserver-ctl start|stop PREFIX: keeps one wineserver, and one Xvfb display for the Windows
# programs' windows, up for a whole test run. The display number is written to
# PREFIX/.display, where scripts/wine-run.sh finds it when DISPLAY is not set.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env "$2"
display_file="$WINEPREFIX/.display"
xvfb_pid_file="$WINEPREFIX/.xvfb.pid"

start_xvfb() {
  local n
  for n in $(seq 90 190); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "$pid" >"$xvfb_pid_file"
      echo ":$n" >"$display_file"
      return 0
    fi
  done
  return 1
}

case $1 in
  start)
    if [ -z "${DISPLAY:-}" ]; then
      start_xvfb && export DISPLAY=$(cat "$display_file")
    else
      echo "$DISPLAY" >"$display_file"
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    echo "wineserver up for $WINEPREFIX, display ${DISPLAY:-none}" ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1
    if [ -f "$xvfb_pid_file" ]; then
      kill "$(cat "$xvfb_pid_file")" 2>/dev/null
      rm -f "$xvfb_pid_file"
    fi
    rm -f "$display_file"
    echo "wineserver stopped" ;;
esac
exit 0
