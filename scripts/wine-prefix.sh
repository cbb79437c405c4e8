#!/usr/bin/env bash
# Creates the project-local Wine prefix once: Wine's fonts, Chinese font replacements,
# a virtual desktop (framed windows without a window manager) and no crash dialog.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
# The prefix to create: the first argument, else the default of wine-env.sh.
wine_env "${1:-}"
stamp="$WINEPREFIX/.project-ready"
[ -f "$stamp" ] && exit 0

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
touch "$stamp"
