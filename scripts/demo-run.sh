#!/usr/bin/env bash
# The demo's run, on a build that exists: generates a game folder with its patch, gives the
# installer that patch, runs it under Wine and compares every archive with the expected bytes.
#   scripts/demo-run.sh --build-dir DIR --out DIR [--interactive] [--full | --bytes N] [--archives N]
# scripts/demo.sh runs it after the set-up and the build; CTest runs it on a small folder
# (tests/demo/), so a demo that would fail fails a test. Prints "DEMO PASS" at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
interactive=0
size=(--bytes 1000000000)
archives=()
build="" out=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --interactive) interactive=1; shift ;;
    --full) size=(--full); shift ;;
    --bytes) size=(--bytes "$2"); shift 2 ;;
    --archives) archives=(--archives "$2"); shift 2 ;;
    *) echo "usage: $0 --build-dir DIR --out DIR [--interactive] [--full | --bytes N] [--archives N]" >&2; exit 2 ;;
  esac
done
[ -n "$build" ] && [ -n "$out" ] || { echo "usage: $0 --build-dir DIR --out DIR ..." >&2; exit 2; }

say() { printf '\ndemo: %s\n' "$*"; }

data="$out/data"
rm -rf "$out"
mkdir -p "$out/screenshots"
say "generating a game folder and its patch in $data (${size[*]} ${archives[*]})"
# Another seed than the patch the build embeds: the installer must be given this folder's patch.
"$build/tools/gamegen/gamegen" --out "$data" --seed 11 "${size[@]}" "${archives[@]}" --quiet
"$build/tools/patchbuild/patchbuild" fingerprint --game "$data/game" --patch "$data/patch" --quiet
echo "demo: $(wc -l <"$data/archives.txt") archives, $(du -sh "$data/game" | cut -f1); the marker nativePC/rom/demo/m01_100s.arc is there"

prefix="$build/wine-prefix-gui"
dllpath="$root/build/wine-cache/dllpath"
# The installer, the driver and its hook DLL of one build: the hook must match the
# installer's bitness.
# The shipped 32-bit build wherever 32-bit Wine runs, natively or emulated.
if [ "$(wine32_mode)" != none ]; then
  win=win32
  echo "demo: the shipped 32-bit installer ($(wine32_mode) 32-bit Wine on this machine)"
else
  win=win64
  echo "demo: this machine cannot run 32-bit Windows programs (scripts/bootstrap.sh says why); running the x86_64 build"
fi
e2e="$build/$win/tests/e2e"
gui_prefix "$prefix"

# The installer carrying the generated patch (every part of it) instead of the one it was
# built with, written by the author's tool from the built one.
setup="$out/setup.exe"
"$root/scripts/in-session.sh" "$prefix" "$dllpath" "$build/$win/patchbuild.exe" installer \
  --patch "$(winpath "$data/patch")" --out "$(winpath "$setup")" --template "$(winpath "$build/$win/setup.exe")"

game=$(winpath "$data/game")
if ((interactive)); then
  say "starting the installer on your display; in the folder browser choose"
  echo "      $game"
  echo "      (My Computer, then / (Z:), then the folders of that path)"
  "$root/scripts/in-session.sh" "$prefix" "$dllpath" "$setup" || true
else
  say "running the $win installer on a virtual display, driven like a user"
  xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/in-session.sh" "$prefix" "$dllpath" \
    "$e2e/e2e_driver.exe" install setup="$(winpath "$setup")" game="$game" \
    shots="$(winpath "$out/screenshots")" archives="$(winpath "$data/archives.txt")" \
    hook="$(winpath "$e2e/e2e_hook.dll")" trace="$(winpath "$out/trace.txt")" timeout=3600 \
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
((interactive)) || echo "DEMO PASS"
