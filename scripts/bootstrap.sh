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

# 32-bit Windows programs. Where the kernel runs 32-bit x86 code, Debian's real 32-bit Wine
# (wine32:i386) runs them like any 64-bit program: it draws, and the shell's folder browser
# works. Where that package cannot be had, Wine's own 32-bit DLLs (libwine:i386) are unpacked
# into the build tree for the "wow64" mode, which runs console tests but cannot draw.
# WINEDLLPATH (scripts/wine-env.sh) names $cache/dllpath, which stays empty with wine32.
i386_installed() { dpkg-query -W -f='${Status}' "$1:i386" 2>/dev/null | grep -q "install ok installed"; }
add_i386() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # One i386 index on a mirror may be broken, so this update may exit with an error.
  apt-get update -qq >/dev/null 2>&1 || true
}
mkdir -p "$cache/dllpath"
if "$root/scripts/can-run-32bit.sh"; then
  if ! i386_installed wine32; then
    echo "bootstrap: installing wine32:i386 (this machine runs 32-bit x86 code)"
    add_i386
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
      echo "bootstrap: wine32:i386 could not be installed"
  fi
else
  echo "bootstrap: this machine cannot execute 32-bit x86 code; 32-bit programs are not run here"
fi
if i386_installed wine32; then
  rm -f "$cache/dllpath/i386-windows" "$cache/dllpath/x86_64-unix" "$cache/dllpath/x86_64-windows"
elif [ ! -e "$cache/dllpath/i386-windows" ]; then
  echo "bootstrap: FALLBACK: no wine32:i386, unpacking libwine:i386 for Wine's wow64 mode" \
       "(32-bit programs run without drawing; their GUI tests are skipped)"
  add_i386
  rm -rf "$cache/deb" && mkdir -p "$cache/deb"
  (cd "$cache/deb" && apt-get download -qq libwine:i386 >/dev/null)
  dpkg -x "$cache"/deb/libwine_*_i386.deb "$cache/root"
  ln -sfn "$cache/root/usr/lib/i386-linux-gnu/wine/i386-windows" "$cache/dllpath/i386-windows"
  ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$cache/dllpath/x86_64-unix"
  ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$cache/dllpath/x86_64-windows"
fi

"$root/scripts/wine-prefix.sh"
echo "bootstrap: ready"
