#!/usr/bin/env bash
# wine-reg-import PREFIX FILE.reg: imports a UTF-8 registry file into a Wine prefix.
# Value names in Chinese survive only as UTF-16LE with a byte-order mark, and `wine reg add`
# from the shell mangles them, so the file is converted and given to regedit.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env "$1"
reg=$(mktemp --suffix=.reg)
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$2"; } >"$reg"
wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
wineserver -w
rm -f "$reg"
