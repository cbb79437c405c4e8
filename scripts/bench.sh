#!/usr/bin/env bash
# Benchmark of the patching run against the I/O floor of its design (not a test).
#
#   scripts/bench.sh [--build-dir DIR] [--data DIR] [--runs N] [--scales "full tenth hundredth"]
#                    [--cache cold|warm] [--keep] [--smoke]
#
# For each scale it generates a game folder with gamegen (full: 411 archives, about 4.6 GB;
# tenth and hundredth: the same archives with a tenth and a hundredth of the data), then,
# N times in turn, on the same files:
#   patch        the installer's patching run (PatchAllArchives and the real patcher, x86_64
#                build under Wine, no dialogs), timed inside the program
#   floor        for each archive: copy to X.tmp, copy back, delete (what `cp` does)
#   floor+fsync  the same, each copy flushed to the disk where the patcher flushes
#   rw+fsync     floor+fsync with read/write through the patcher's 256 KiB buffer instead
#                of the kernel's copy_file_range (the same copying as the patcher, natively)
# and prints the medians, the ratios, where the patcher's time goes, its file calls per
# archive and its memory, a cost curve over the scales, and once per scale a run with the
# real progress window whose answer time is measured. Before every measurement the caches
# are dropped (cold, needs root) or the archives are read once (warm).
# The first patch of a fresh folder is done before the timed runs and its result compared
# byte for byte with gamegen's expected archives; so is the result of the last run.
# --smoke: a tiny folder, one run, warm caches; checks that everything works (CTest).
# The generated folders are deleted at the end unless --keep.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
data=""
runs=3
scales="full tenth hundredth"
cache=""
keep=0
smoke=0
while (($#)); do
  case $1 in
    --build-dir) build=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    --data) data=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --scales) scales=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --smoke) smoke=1; shift ;;
    *) sed -n '2,22p' "$0" >&2; exit 2 ;;
  esac
done
data=${data:-$build/bench-data}
if ((smoke)); then
  scales=smoke runs=1 cache=warm
fi
if [ -z "$cache" ]; then
  if [ -w /proc/sys/vm/drop_caches ]; then cache=cold; else cache=warm; fi
fi
if [ "$cache" = cold ] && [ ! -w /proc/sys/vm/drop_caches ]; then
  echo "bench: --cache cold needs root (writes /proc/sys/vm/drop_caches)" >&2
  exit 2
fi

say() { echo "bench: $*" >&2; }

# ---- Programs -------------------------------------------------------------------------------
((smoke)) || "$root/scripts/bootstrap.sh" >&2  # installs what is missing, as scripts/test.sh does
if [ ! -f "$build/win64/build.ninja" ]; then
  say "no build in $build yet: building everything first"
  "$root/scripts/build.sh" --build-dir "$build" >&2
fi
if ((!smoke)); then  # under CTest the build is already there and must not be touched
  cmake --build "$build" --target gamegen io_floor >&2
  cmake --build "$build" --target patchbuild >&2 2>/dev/null || true
  cmake --build "$build/win64" --target patch_bench >&2
  cmake --build "$build/win64" --target setup >&2 2>/dev/null || say "setup.exe does not build: no progress-window run"
fi
gamegen="$build/tools/gamegen/gamegen"
patchbuild="$build/tools/patchbuild/patchbuild"
floor="$build/bench/io_floor"
bench_exe="$build/win64/bench/patch_bench.exe"
setup_exe="$build/win64/setup.exe"
prefix="$build/wine-prefix"
for f in "$gamegen" "$floor" "$bench_exe"; do
  [ -x "$f" ] || [ -f "$f" ] || { say "missing $f"; exit 1; }
done

# One wineserver (and the X display for the progress window) for the whole benchmark, unless
# one is already up for this prefix (a test run's fixture, which then owns it).
if [ ! -f "$prefix/.display" ]; then
  "$root/scripts/wineserver-ctl.sh" start "$prefix" >&2
  trap '"$root/scripts/wineserver-ctl.sh" stop "$prefix" >/dev/null' EXIT
fi
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

# ---- Data -----------------------------------------------------------------------------------
# Sizes: the full scale is gamegen --full (original archives about 4.51 GB); the smaller
# scales keep all 411 archives and their entries and scale the data.
gen_args() {
  case $1 in
    full) echo "--full" ;;
    tenth) echo "--bytes 451453000" ;;
    hundredth) echo "--bytes 45145300" ;;
    smoke) echo "--archives 12 --bytes 3000000" ;;
    *) say "unknown scale $1"; exit 2 ;;
  esac
}

generate() {  # scale dir
  local args
  args="$(gen_args "$1") --seed 11"
  if [ -f "$2/.args" ] && [ "$(cat "$2/.args")" = "$args" ] && [ -f "$2/archives.txt" ]; then
    say "$1: reusing $2"
    return
  fi
  rm -rf "$2"
  say "$1: generating ($args)"
  # shellcheck disable=SC2086
  "$gamegen" --out "$2" $args --quiet
  if [ -x "$patchbuild" ]; then
    "$patchbuild" fingerprint --game "$2/game" --patch "$2/patch" --quiet >&2 ||
      say "$1: no fingerprints (the run checks no archive)"
  fi
  echo "$args" >"$2/.args"
  rm -f "$2/.patched"
}

verify() {  # dir what
  local name original expected records bad=0
  while read -r name original expected records; do
    name=${name//\\//}
    cmp -s "$1/game/$name" "$1/expected/$name" || { say "DIFFERS from expected: $name"; bad=1; }
  done <"$1/archives.txt"
  ((bad == 0)) || { say "$2: the patched folder is not byte-identical to the expected one"; exit 1; }
  say "$2: all archives byte-identical to the expected ones"
}

prepare_caches() {  # dir
  sync
  if [ "$cache" = cold ]; then
    echo 3 >/proc/sys/vm/drop_caches
  else
    find "$1/game" -type f -exec cat {} + >/dev/null
  fi
}

run_patch() {  # dir [--ui]
  local ui=()
  [ "${2:-}" = --ui ] && ui=(--ui "$(winpath "$setup_exe")")
  "$root/scripts/wine-run.sh" "$prefix" "$root/build/wine-cache/dllpath" "$bench_exe" \
    --game "$(winpath "$1/game")" --patch "$(winpath "$1/patch")" "${ui[@]}" | tee -a "$1/bench.log" |
    grep '^RESULT' | tail -1
}

run_floor() {  # dir [io_floor options]
  local dir=$1
  shift
  "$floor" --game "$dir/game" --list "$dir/archives.txt" "$@" | grep '^RESULT'
}

results="$data/results.txt"
mkdir -p "$data"
: >"$results"
record() { echo "$1 $2 $3 ${4#RESULT }" >>"$results"; }  # scale kind run result

for scale in $scales; do
  dir="$data/$scale"
  generate "$scale" "$dir"
  : >"$dir/bench.log"
  bytes=$(awk '{s += $2} END {printf "%.0f", s}' "$dir/archives.txt")
  echo "$scale bytes 0 bytes=$bytes" >>"$results"
  if [ ! -f "$dir/.patched" ]; then
    say "$scale: first patch of the fresh folder"
    prepare_caches "$dir"
    r=$(run_patch "$dir")
    record "$scale" first 0 "$r"
    verify "$dir" "$scale (first run)"
    touch "$dir/.patched"
  fi
  for ((i = 1; i <= runs; ++i)); do
    say "$scale: run $i of $runs"
    prepare_caches "$dir"; record "$scale" patch "$i" "$(run_patch "$dir")"; sync
    prepare_caches "$dir"; record "$scale" floor "$i" "$(run_floor "$dir")"; sync
    prepare_caches "$dir"; record "$scale" floor_fsync "$i" "$(run_floor "$dir" --sync)"; sync
    prepare_caches "$dir"
    record "$scale" rw_fsync "$i" "$(run_floor "$dir" --sync --method rw --buffer-kib 256)"; sync
  done
  verify "$dir" "$scale (after the timed runs)"
  if [ -f "$setup_exe" ]; then
    say "$scale: one run with the progress window"
    prepare_caches "$dir"
    record "$scale" ui 1 "$(run_patch "$dir" --ui)"
  fi
  ((keep)) || ((smoke)) || rm -rf "$dir"
done

# ---- Report ---------------------------------------------------------------------------------
{
  echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -n): $(nproc) CPUs ($(lscpu | sed -n 's/^Model name: *//p' | head -1)),"
  echo "# $(free -g | awk '/^Mem/ {print $2}') GB RAM, $(df -T "$data" | awk 'NR == 2 {print $2}') on $(df "$data" | awk 'NR == 2 {print $1}'),"
  echo "# $(wine --version 2>/dev/null), caches $cache, median of $runs run(s), load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
} >>"$results.head"
python3 "$root/bench/report.py" "$results" "$results.head"
rm -f "$results.head"
# The switcher's scan benchmark, its own script.
if ((!smoke)) && [ -x "$root/scripts/bench-langset.sh" ]; then
  echo
  echo "Switcher scan (scripts/bench-langset.sh):"
  "$root/scripts/bench-langset.sh" --build-dir "$build" || say "the switcher's scan benchmark failed"
fi
((smoke)) && echo "bench: smoke run passed"
exit 0
