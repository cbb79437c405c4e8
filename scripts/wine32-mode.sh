#!/usr/bin/env bash
# Prints how Wine runs 32-bit Windows programs on this machine:
#   real   Debian's 32-bit Wine (wine32:i386) is installed: they run like 64-bit ones, windows,
#          bitmaps, Chinese text and the shell's folder browser included
#   wow64  only Wine's own 32-bit DLLs (the bootstrap's fallback): console programs run, but
#          nothing draws, the folder browser crashes, and so does filling an edit control
#   none   the kernel cannot execute 32-bit x86 code: no 32-bit program runs at all
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! "$here/can-run-32bit.sh"; then
  echo none
elif [ -x /usr/lib/wine/wine ] &&
     dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo real
else
  echo wow64
fi
