#!/usr/bin/env bash
# check-gui-fonts.sh PREFIX: exits 0 when the prefix's registry holds the system fonts of a
# Chinese Windows (scripts/wine-prefix.sh --gui) that the installer's captions and message boxes are drawn
# with; otherwise says which value is missing or wrong and exits 1. Without them Wine draws
# the Chinese captions as empty boxes.
set -u
prefix=$1
reg="$prefix/user.reg"
[ -f "$reg" ] || { echo "GUI FONTS FAIL: $reg does not exist"; exit 1; }
# A value's hex bytes, with the registry file's line continuations joined.
value() {
  sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' "$reg" |
    awk -v key="\"$1\"=hex:" 'index($0, key) == 1 { print substr($0, length(key) + 1); exit }'
}
# LOGFONTW: lfHeight -12, then the face name "SimSun" in UTF-16LE from byte 28.
simsun="53,00,69,00,6d,00,53,00,75,00,6e,00,00,00"
rc=0
for name in CaptionFont SmCaptionFont MenuFont StatusFont MessageFont; do
  v=$(value "$name")
  if [ -z "$v" ]; then
    echo "GUI FONTS FAIL: $name is not set in $reg"; rc=1
  elif [ "${v:0:11}" != "f4,ff,ff,ff" ] || [ "${v:84:${#simsun}}" != "$simsun" ]; then
    echo "GUI FONTS FAIL: $name is not SimSun at 12 pixels: $v"; rc=1
  fi
done
# The system's dialogs (the folder browser): Tahoma's Chinese text from AR PL UMing.
grep -q '^"Tahoma"=str(7):"uming.ttc,AR PL UMing CN' "$prefix/system.reg" ||
  { echo "GUI FONTS FAIL: Tahoma is not linked to AR PL UMing in $prefix/system.reg"; rc=1; }
[ $rc -eq 0 ] && echo "GUI FONTS PASS: captions, menus and message boxes in SimSun at 12 pixels, Tahoma's Chinese in AR PL UMing"
exit $rc
