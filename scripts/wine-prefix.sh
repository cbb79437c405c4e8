#!/usr/bin/env bash
# Creates a project Wine prefix once:
#   wine-prefix.sh [PREFIX]         the base prefix: Wine's fonts, Chinese font replacements,
#                                   a virtual desktop (framed windows without a window
#                                   manager) and no crash dialog
#   wine-prefix.sh --gui PREFIX [DPI [WxH]]
#                                   the same plus the system fonts of a Chinese Windows, for
#                                   the installer's GUI sessions (end-to-end tests, the demo);
#                                   with a DPI other than 96 the display is scaled: LogPixels
#                                   (what a player sets for a sharp screen; every program then
#                                   sees that DPI) and a virtual desktop of WxH pixels, by
#                                   default 1024 x 768 scaled alike (give Xvfb the same size)
# PREFIX defaults to the project prefix of wine-env.sh. The GUI fonts: captions, menus and
# message boxes in 宋体 at 9 points, 12 pixels. Wine's default, Tahoma at 8 points, draws
# Chinese captions as empty boxes and Chinese message text through a fallback at 11 pixels,
# where the replacement face loses strokes. The system's own dialogs (the shell's folder
# browser) are in Tahoma at 11 pixels: their Chinese text is linked to AR PL UMing
# (fonts-arphic-uming), which is drawn whole at that size.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
gui=0
if [ "${1:-}" = --gui ]; then gui=1; shift; fi
wine_env "${1:-}"
dpi=${2:-96}
desktop=${3:-$((1024 * dpi / 96))x$((768 * dpi / 96))}
make_base() {
    echo "wine-prefix: creating $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w

    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    for f in /usr/share/wine/fonts/*.ttf; do ln -sf "$f" "$fonts/"; done

    reg=$(mktemp --suffix=.reg)
    cat >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"宋体"="WenQuanYi Zen Hei Sharp"
"新宋体"="WenQuanYi Zen Hei Sharp"
"SimSun"="WenQuanYi Zen Hei Sharp"
"NSimSun"="WenQuanYi Zen Hei Sharp"

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    "$here/wine-reg-import.sh" "$WINEPREFIX" "$reg"
    rm -f "$reg"
    touch "$WINEPREFIX/.project-ready"
}

make_gui() {
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
    "$here/wine-reg-import.sh" "$WINEPREFIX" "$reg"
    rm -f "$reg"
    # A prefix without them draws every Chinese caption as empty boxes: refuse to go on.
    "$here/check-gui-fonts.sh" "$WINEPREFIX" >&2 || exit 1
    touch "$WINEPREFIX/.gui-ready"
}

make_dpi() {
    local hexdpi reg
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
    "$here/wine-reg-import.sh" "$WINEPREFIX" "$reg"
    rm -f "$reg"
    touch "$WINEPREFIX/.dpi-$dpi-ready"
}

[ -f "$WINEPREFIX/.project-ready" ] || make_base
if ((gui)) && [ ! -f "$WINEPREFIX/.gui-ready" ]; then make_gui; fi
if ((gui)) && [ "$dpi" != 96 ] && [ ! -f "$WINEPREFIX/.dpi-$dpi-ready" ]; then make_dpi; fi
