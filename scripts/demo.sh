#!/usr/bin/env bash
# The installer on a synthetic game folder, from nothing to a patched folder:
#   scripts/demo.sh [--interactive] [--full | --bytes N] [--build-dir DIR]
#
# Installs what is missing (scripts/bootstrap.sh), builds everything, generates a game folder
# with its patch (tools/gamegen, about 1 GB of archives by default; --full: the full-size
# layout, about 4.6 GB, on which the progress bar reaches 100) and runs the real installer on
# it under Wine. The installer is the shipped 32-bit build, carrying the generated patch; on a
# machine where Wine cannot draw 32-bit programs (no 32-bit x86 code, or only Wine's wow64
# fallback) it is the x86_64 build of the same sources.
#   default        on a virtual display (Xvfb), driven like a user by the end-to-end driver,
#                  which prints every step; screenshots go to artifacts/demo/screenshots/
#   --interactive  on your display: you click through it yourself
# Afterwards every archive is compared with the bytes a correct patch gives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
interactive=0
size=(--bytes 1000000000)
while (($#)); do
  case $1 in
    --interactive) interactive=1; shift ;;
    --full) size=(--full); shift ;;
    --bytes) size=(--bytes "$2"); shift 2 ;;
    --build-dir) build=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    *) echo "usage: $0 [--interactive] [--full | --bytes N] [--build-dir DIR]" >&2; exit 2 ;;
  esac
done
if ((interactive)) && [ -z "${DISPLAY:-}" ]; then
  echo "demo: --interactive needs a display (DISPLAY is not set)" >&2
  exit 2
fi

say() { printf '\ndemo: %s\n' "$*"; }
winpath() { local p; p=$(readlink -m "$1"); p=${p//\//\\}; printf 'Z:%s' "$p"; }

say "installing what is missing and building (scripts/bootstrap.sh, scripts/build.sh)"
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" --build-dir "$build"

out="$root/artifacts/demo"
data="$out/data"
rm -rf "$out"
mkdir -p "$out/screenshots"
say "generating a game folder and its patch in $data (${size[*]})"
"$build/tools/gamegen/gamegen" --out "$data" --seed 11 "${size[@]}" --quiet
"$build/tools/patchbuild/patchbuild" fingerprint --game "$data/game" --patch "$data/patch" --quiet
echo "demo: $(wc -l <"$data/archives.txt") archives, $(du -sh "$data/game" | cut -f1); the marker nativePC/rom/demo/m01_100s.arc is there"

prefix="$build/wine-prefix-gui"
dllpath="$root/build/wine-cache/dllpath"
# The installer, the driver and its hook DLL of one build: the hook must match the
# installer's bitness.
if [ "$("$root/scripts/wine32-mode.sh")" = real ]; then
  win=win32
else
  win=win64
  echo "demo: Wine cannot draw 32-bit programs on this machine ($("$root/scripts/wine32-mode.sh")); running the x86_64 build"
fi
e2e="$build/$win/tests/e2e"
flock "$prefix.lock" "$root/tests/e2e/gui-prefix.sh" "$prefix" >/dev/null
setup="$out/setup.exe"
# The installer for the generated patch, written by the author's tool from the built one.
"$root/tests/e2e/in-session.sh" "$prefix" "$dllpath" "$build/$win/patchbuild.exe" installer \
  --patch "$(winpath "$data/patch")" --out "$(winpath "$setup")" --template "$(winpath "$build/$win/setup.exe")"

game=$(winpath "$data/game")
if ((interactive)); then
  say "starting the installer on your display; in the folder browser choose"
  echo "      $game"
  echo "      (My Computer, then / (Z:), then the folders of that path)"
  "$root/tests/e2e/in-session.sh" "$prefix" "$dllpath" "$setup" || true
else
  say "running the $win installer on a virtual display, driven like a user"
  xvfb-run -a -s "-screen 0 1024x768x24" "$root/tests/e2e/in-session.sh" "$prefix" "$dllpath" \
    "$e2e/e2e_driver.exe" install setup="$(winpath "$setup")" game="$game" \
    shots="$(winpath "$out/screenshots")" archives="$(winpath "$data/archives.txt")" \
    hook="$(winpath "$e2e/e2e_trace.dll")" trace="$(winpath "$out/trace.txt")" timeout=3600 \
    progress-total="$(winpath "$data/patch/progress_total.bin")" min-position=100 |
    tee "$out/driver.log" || true
  for f in "$out"/screenshots/*.bmp; do
    [ -f "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"
  done
fi

grep -q "^E2E PASS" "$out/driver.log" 2>/dev/null || ((interactive)) || { echo "demo: the driven run failed (see above)"; exit 1; }
say "checking the game folder against the expected bytes"
if diff -rq -x KSTRLangSet.exe "$data/game" "$data/expected" >/dev/null && [ -f "$data/game/KSTRLangSet.exe" ]; then
  echo "demo: all $(wc -l <"$data/archives.txt") archives are byte for byte as expected; KSTRLangSet.exe is in the game folder"
else
  echo "demo: the game folder is not (completely) patched:"
  diff -rq -x KSTRLangSet.exe "$data/game" "$data/expected" | head -5 || true
  ((interactive)) || exit 1
fi
if ((!interactive)); then
  say "screenshots:"
  ls -1 "$out"/screenshots/*.png | sed 's/^/      /'
fi
echo "demo: the game folder is $data/game (delete $out to free the space)"
