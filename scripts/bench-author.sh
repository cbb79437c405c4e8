#!/usr/bin/env bash
# Benchmark of a patch author's one command (not a test): patchbuild.exe (the x86_64 build
# under Wine) builds the full-size patch from the original and the translated folder and
# writes the finished installer, timed from the shell; the native tool's `build` on the same
# folders is timed beside it, and the ratio printed. The machine's load is printed with it.
#
#   scripts/bench-author.sh [--build-dir DIR] [--data DIR] [--size full|default] [--keep]
#
# Needs a built tree (scripts/build.sh). Full size: about 4.6 GB for the original folder and
# as much for the translated one (gamegen's expected archives), deleted afterwards unless --keep.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
data=""
size=full
keep=0
while (($#)); do
  case $1 in
    --build-dir) build=$(cd "$2" && pwd); shift 2 ;;
    --data) data=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--build-dir DIR] [--data DIR] [--size full|default] [--keep]" >&2; exit 2 ;;
  esac
done
data=${data:-$build/bench-author}
tool="$build/win64/patchbuild.exe"
template="$build/win64/setup.exe"
for f in "$tool" "$template" "$build/tools/gamegen/gamegen" "$build/tools/patchbuild/patchbuild"; do
  [ -f "$f" ] || { echo "bench-author: $f is missing (run scripts/build.sh)" >&2; exit 1; }
done
. "$root/scripts/wine-env.sh"
wine_env "$build/wine-prefix"
now() { date +%s.%N; }

rm -rf "$data"
mkdir -p "$data"
flags=()
[ "$size" = full ] && flags=(--full)
echo "bench-author: generating the $size game folder and its translation in $data"
"$build/tools/gamegen/gamegen" --out "$data/gen" --seed 1 "${flags[@]}" --quiet
echo "bench-author: original $(du -sh "$data/gen/game" | cut -f1), translated $(du -sh "$data/gen/expected" | cut -f1)"

# One run each (the folders are larger than the page cache here: both read from the disk).
start=$(now)
"$build/tools/patchbuild/patchbuild" build --original "$data/gen/game" --translated "$data/gen/expected" \
  --out "$data/native-patch" --quiet
native=$(echo "$(now) - $start" | bc)

wineserver -p 2>/dev/null </dev/null >/dev/null & # a warm server, as an author's second command finds it
sleep 2
load=$(uptime)
start=$(now)
wine "$tool" build --original "$(winpath "$data/gen/game")" --translated "$(winpath "$data/gen/expected")" \
  --out "$(winpath "$data/patch")" --installer "$(winpath "$data/setup-full.exe")" \
  --template "$(winpath "$template")" </dev/null >"$data/author.log" 2>&1
windows=$(echo "$(now) - $start" | bc)
tr -d '\r' <"$data/author.log"
wineserver -k 2>/dev/null || true

cmp -s "$data/patch/payload.bin" "$data/native-patch/payload.bin" || { echo "bench-author: the payloads differ" >&2; exit 1; }
payload=$(stat -c %s "$data/patch/payload.bin")
printf 'bench-author: %s size, payload %s bytes, installer %s bytes\n' "$size" "$payload" \
  "$(stat -c %s "$data/setup-full.exe")"
printf 'bench-author: patchbuild.exe build --installer (x86_64, Wine): %.1f s\n' "$windows"
printf 'bench-author: native patchbuild build (no installer):         %.1f s\n' "$native"
printf 'bench-author: ratio Windows tool under Wine / native: %.2f\n' "$(echo "$windows / $native" | bc -l)"
echo "bench-author: load while measuring: $load"
[ $keep = 1 ] || rm -rf "$data"
