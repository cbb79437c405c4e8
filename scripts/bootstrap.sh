#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine and
# prepares the project-local Wine (32-bit DLL cache + prefix). Safe to run again: a second
# run only checks what is already there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/build/wine-cache"

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest valgrind
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  wine wine64 fonts-wine xvfb xauth imagemagick fonts-wqy-zenhei fonts-arphic-uming python3 file binutils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || true
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Windows programs: Debian's real 32-bit Wine (wine32:i386) runs them like any 64-bit
# program, windows, bitmaps and the shell's folder browser included. Where the kernel cannot
# execute 32-bit x86 code, qemu-user runs that Wine through binfmt_misc: registered here (once,
# only where no i386 handler is), with the project's mmap fix preloaded into its processes
# (scripts/wine32-preload.sh). A machine whose kernel runs 32-bit code is left as it is.
# KSTR_EMULATE_32BIT=1 registers the emulation even there, to rehearse that mode.
i386_installed() { dpkg-query -W -f='${Status}' "$1:i386" 2>/dev/null | grep -q "install ok installed"; }
i386_handler() {
  grep -l '^magic 7f454c460101010000000000000000000200030' /proc/sys/fs/binfmt_misc/* 2>/dev/null | head -n 1
}
emulation_packages() {
  local missing=()
  for p in qemu-user-static gcc-multilib; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "bootstrap: installing ${missing[*]} (32-bit x86 code is emulated here)"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
      { echo "bootstrap: ${missing[*]} could not be installed"; return 1; }
  fi
}
register_emulation() {
  emulation_packages || return 1
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
      { echo "bootstrap: binfmt_misc cannot be mounted here: 32-bit programs are not run"; return 1; }
  fi
  local handler
  handler=$(i386_handler)
  if [ -n "$handler" ]; then
    echo "bootstrap: binfmt_misc already has an i386 handler ($(basename "$handler")), left as it is"
  else
    # The i386 ELF magic and mask of Debian's other qemu-* entries; F opens the emulator now,
    # P keeps argv[0] as Wine expects it.
    printf '%s' ':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP' \
      >/proc/sys/fs/binfmt_misc/register 2>/dev/null ||
      { echo "bootstrap: an i386 handler cannot be registered in binfmt_misc: 32-bit programs are not run"; return 1; }
    echo "bootstrap: registered /usr/bin/qemu-i386-static for 32-bit x86 programs in binfmt_misc (qemu-i386), which this kernel cannot execute"
  fi
}
cpu=$("$root/scripts/cpu32.sh")
if [ "$cpu" = none ] || { [ "$cpu" = native ] && [ "${KSTR_EMULATE_32BIT:-0}" = 1 ]; }; then
  register_emulation || true
  cpu=$("$root/scripts/cpu32.sh")
fi
if [ "$cpu" = emulated ]; then
  emulation_packages && "$root/scripts/wine32-preload.sh" ||
    echo "bootstrap: the mmap fix for emulated 32-bit Wine could not be built: 32-bit programs are not run"
fi
if [ "$cpu" != none ] && ! i386_installed wine32; then
  echo "bootstrap: installing wine32:i386 (32-bit x86 code runs here, $cpu)"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # One i386 index on a mirror may be broken, so this update may exit with an error.
  apt-get update -qq >/dev/null 2>&1 || true
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
    echo "bootstrap: wine32:i386 could not be installed: 32-bit programs are not run"
fi
if [ "$cpu" = none ]; then
  echo "bootstrap: this machine cannot execute 32-bit x86 code, natively or emulated: 32-bit programs are not run here"
fi
# An empty WINEDLLPATH folder, which the Wine sessions name (Debian's 32-bit Wine needs none).
rm -rf "$cache/deb" "$cache/root"
rm -f "$cache/dllpath/i386-windows" "$cache/dllpath/x86_64-unix" "$cache/dllpath/x86_64-windows"
mkdir -p "$cache/dllpath"
echo "bootstrap: 32-bit Windows programs: $("$root/scripts/wine32-mode.sh")"

"$root/scripts/wine-prefix.sh"
echo "bootstrap: ready"
