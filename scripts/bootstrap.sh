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
  wine wine64 fonts-wine xvfb xauth imagemagick fonts-wqy-zenhei python3 file binutils
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

# Wine's own 32-bit Windows DLLs, for 32-bit programs in wow64 mode. wine32:i386 does not
# install here, so the libwine:i386 package is unpacked into the build tree instead.
if [ ! -d "$cache/dllpath/i386-windows" ]; then
  echo "bootstrap: unpacking libwine:i386"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # One i386 index on the mirror is broken, so this update may exit with an error.
  apt-get update -qq >/dev/null 2>&1 || true
  rm -rf "$cache/deb" && mkdir -p "$cache/deb" "$cache/dllpath"
  (cd "$cache/deb" && apt-get download -qq libwine:i386 >/dev/null)
  dpkg -x "$cache"/deb/libwine_*_i386.deb "$cache/root"
  ln -sfn "$cache/root/usr/lib/i386-linux-gnu/wine/i386-windows" "$cache/dllpath/i386-windows"
  ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$cache/dllpath/x86_64-unix"
  ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$cache/dllpath/x86_64-windows"
fi

"$root/scripts/wine-prefix.sh"
echo "bootstrap: ready"
