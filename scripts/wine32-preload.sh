#!/usr/bin/env bash
# The mmap fix for 32-bit Wine under qemu-user (tools/wine32-emulation/), built into
# build/wine-cache/preload, where scripts/wine-env.sh preloads it where 32-bit code is emulated:
#   wine32-preload.sh          builds it (again only when its source is newer)
#   wine32-preload.sh --test   builds it and its test program and runs the test in a 32-bit
#                              process with the fix preloaded; exits 77 where 32-bit code is
#                              not emulated (the fix is not used there)
# The 32-bit library goes under both names ld.so's $LIB takes for 32-bit processes
# (lib/i386-linux-gnu with libc6:i386, lib32 with gcc-multilib's libc6-i386); an empty 64-bit
# library of the same name keeps 64-bit processes (wineserver, the 64-bit loader) quiet.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/tools/wine32-emulation"
out="$root/build/wine-cache/preload"
lib=kstr-noreplace.so

build() {
  local target=$1 source=$2; shift 2
  if [ ! -f "$target" ] || [ "$source" -nt "$target" ]; then
    mkdir -p "$(dirname "$target")"
    gcc -O2 -Wall -Wextra -Werror "$@" -o "$target.part" "$source" && mv "$target.part" "$target"
  fi
}
build "$out/lib/i386-linux-gnu/$lib" "$src/noreplace_mmap.c" -m32 -shared -fPIC
mkdir -p "$out/lib32"
cp -p "$out/lib/i386-linux-gnu/$lib" "$out/lib32/$lib"
build "$out/lib/x86_64-linux-gnu/$lib" /dev/null -x c -shared -fPIC

if [ "${1:-}" = --test ]; then
  if [ "$("$root/scripts/cpu32.sh")" != emulated ]; then
    echo "SKIP: 32-bit code is not emulated on this machine, so the mmap fix is not used here"
    exit 77
  fi
  build "$out/noreplace_mmap_test" "$src/noreplace_mmap_test.c" -m32
  . "$root/scripts/wine-env.sh"
  LD_PRELOAD=$(wine32_preload) "$out/noreplace_mmap_test"
fi
