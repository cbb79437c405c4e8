#!/usr/bin/env bash
# Prepares the Wine prefix for the installer's GUI sessions (end-to-end tests and the demo):
# the project's prefix (scripts/wine-prefix.sh), plus the system fonts of a Chinese Windows
# (captions, menus and message boxes in 宋体 at 9 points, 12 pixels). Wine's default,
# Tahoma at 8 points, draws Chinese captions as empty boxes and Chinese message text through
# a fallback at 11 pixels, where the replacement face loses strokes. The system's own dialogs
# (the shell's folder browser) are in Tahoma at 11 pixels: their Chinese text is linked to AR
# PL UMing (fonts-arphic-uming), which is drawn whole at that size.
#   gui-prefix.sh PREFIX [DPI [WxH]]
# With a DPI other than 96 the prefix is that one with the display scaled: LogPixels (what a
# player sets for a sharp screen; every program then sees that DPI) and a virtual desktop of
# WxH pixels, by default as large as 1024 x 768 scaled alike (run-scenario.sh gives Xvfb the
# same size).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix=$1
dpi=${2:-96}
desktop=${3:-$((1024 * dpi / 96))x$((768 * dpi / 96))}
if [ "$dpi" != 96 ]; then
  "$0" "$prefix"
  [ -f "$prefix/.dpi-$dpi-ready" ] && exit 0
  hexdpi=$(printf '%08x' "$dpi")
  reg=$(mktemp --suffix=.reg)
  cat >"$reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:$hexdpi

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]
"LogPixels"=dword:$hexdpi

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="$desktop"
REG
  "$root/scripts/wine-reg-import.sh" "$prefix" "$reg"
  rm -f "$reg"
  touch "$prefix/.dpi-$dpi-ready"
  exit 0
fi
"$root/scripts/wine-prefix.sh" "$prefix"
stamp="$prefix/.gui-ready"
[ -f "$stamp" ] && exit 0
. "$root/scripts/wine-env.sh"
wine_env "$prefix"
reg=$(mktemp --suffix=.reg)
# LOGFONTW: height -12, weight 700 (captions) or 400, charset GB2312 (134), face "SimSun".
cat >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]
"CaptionFont"=hex:f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,bc,02,00,00,00,00,00,86,00,00,00,00,53,00,69,00,6d,00,53,00,75,00,6e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00
"SmCaptionFont"=hex:f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,bc,02,00,00,00,00,00,86,00,00,00,00,53,00,69,00,6d,00,53,00,75,00,6e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00
"MenuFont"=hex:f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,86,00,00,00,00,53,00,69,00,6d,00,53,00,75,00,6e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00
"StatusFont"=hex:f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,86,00,00,00,00,53,00,69,00,6d,00,53,00,75,00,6e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00
"MessageFont"=hex:f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,86,00,00,00,00,53,00,69,00,6d,00,53,00,75,00,6e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):75,00,6d,00,69,00,6e,00,67,00,2e,00,74,00,74,00,63,00,2c,00,41,00,52,00,20,00,50,00,4c,00,20,00,55,00,4d,00,69,00,6e,00,67,00,20,00,43,00,4e,00,00,00,00,00
REG
"$root/scripts/wine-reg-import.sh" "$WINEPREFIX" "$reg"
rm -f "$reg"
# A prefix without them draws every Chinese caption as empty boxes: refuse to go on.
"$here/check-gui-fonts.sh" "$WINEPREFIX" >&2 || exit 1
touch "$stamp"
