#!/usr/bin/env bash
# Benchmark of the installer's run as the player sees it, against the I/O floor of its design
# (not a test).
#
#   scripts/bench.sh [--build-dir DIR] [--data DIR] [--runs N] [--scales "full tenth hundredth"]
#                    [--cache cold|warm] [--samples "10 200"] [--keep] [--no-build] [--smoke]
#                    [--x86_64]
#
# For each scale it generates an original game folder with gamegen (full: 411 archives, about
# 4.6 GB; tenth and hundredth: the same archives with a tenth and a hundredth of the data) and
# an installer carrying its patch, then, N times in turn, each on a fresh copy of that
# original folder (copied, flushed, caches dropped):
#   window       the player's first run: the installer (the shipped 32-bit setup.exe, the
#                x86_64 build where Wine cannot run 32-bit code) through its real windows,
#                driven by the end-to-end driver on a virtual display, timed from the folder's
#                acceptance to the closing message; once for every driver sampling interval
#                of --samples (ms), to show that the driver's looking does not slow the run
#   first        the no-window patching run (PatchAllArchives and the real patcher under
#                Wine), timed inside the program, with its phases
#   second       the same again on the folder the first run patched (caches dropped)
#   again        the player's second run: the installer through its windows once more, on
#                the folder the window run patched (caches dropped; the driver looking as
#                often as the first interval of --samples says); it must write no archive
#   repair       the same after five archives were put back to their original bytes (as a
#                game's launcher restores some after an update); it must rewrite exactly
#                those five, and is compared with floor+fsync for those five alone
#   floor+fsync  for each archive: copy to X.tmp, copy back, delete, each copy flushed where
#                the patcher flushes (what `cp` does, natively)
# and prints the medians, the ratios to floor+fsync, where the time goes, the patcher's file
# calls and memory. Every patched folder is compared byte for byte with gamegen's expected
# archives. The load average is recorded beside every measurement: the figures are ratios
# within one run, on the same files, with the configurations taking turns.
# --no-build: measures the programs as they are built (nothing is built or rebuilt).
# --x86_64: the x86_64 installer even where Wine runs 32-bit programs (where the 32-bit build
# would run emulated, its times are the emulator's).
# --smoke: a tiny folder, one run, warm caches; checks that everything works (CTest).
# The generated folders are deleted at the end unless --keep.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
data=""
runs=3
scales="full tenth hundredth"
cache=""
samples="10 200"
keep=0
nobuild=0
smoke=0
x86_64=0
while (($#)); do
  case $1 in
    --build-dir) build=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    --data) data=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --scales) scales=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    --samples) samples=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --no-build) nobuild=1; shift ;;
    --smoke) smoke=1; shift ;;
    --x86_64) x86_64=1; shift ;;
    *) sed -n '2,40p' "$0" >&2; exit 2 ;;
  esac
done
data=${data:-$build/bench-data}
if ((smoke)); then
  scales=smoke runs=1 cache=warm samples=15
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
# The player's installer is the shipped 32-bit build where the kernel runs 32-bit code; where
# 32-bit code is emulated (qemu-user, several times slower on CPU-heavy work by construction)
# or cannot run, the x86_64 build of the same sources, so that the figures measure the
# program, not the emulator. The no-window run uses the same build.
. "$root/scripts/wine-env.sh"
if [ "$(wine32_mode)" = real ] && ((!x86_64)); then win=win32; else win=win64; fi
((smoke)) || ((nobuild)) || "$root/scripts/bootstrap.sh" >&2  # installs what is missing, as scripts/test.sh does
if [ ! -f "$build/$win/build.ninja" ]; then
  say "no build in $build yet: building everything first"
  "$root/scripts/build.sh" --build-dir "$build" >&2
fi
if ((!smoke && !nobuild)); then  # under CTest the build is already there and must not be touched
  cmake --build "$build" --target gamegen io_floor patchbuild >&2
  cmake --build "$build/$win" --target patch_bench setup e2e_driver e2e_hook patchbuild >&2
fi
gamegen="$build/tools/gamegen/gamegen"
patchbuild="$build/tools/patchbuild/patchbuild"
floor="$build/bench/io_floor"
bench_exe="$build/$win/bench/patch_bench.exe"
setup_exe="$build/$win/setup.exe"
e2e="$build/$win/tests/e2e"
prefix="$build/wine-prefix"
gui_prefix="$build/wine-prefix-gui"
dllpath="$root/build/wine-cache/dllpath"
for f in "$gamegen" "$patchbuild" "$floor" "$bench_exe" "$setup_exe" "$e2e/e2e_driver.exe" "$build/$win/patchbuild.exe"; do
  [ -f "$f" ] || { say "missing $f"; exit 1; }
done
for tool in xvfb-run; do
  command -v $tool >/dev/null || { say "$tool is missing (scripts/bootstrap.sh installs it)"; exit 1; }
done
say "installer: the $win build ($(wine32_mode) 32-bit Wine on this machine$([ "$(wine32_mode)" = emulated ] && echo ': the x86_64 build is timed, not the emulator'))"

# One wineserver (and an X display) for the no-window runs, unless one is already up for this
# prefix (a test run's fixture, which then owns it). The window runs each get a Wine session
# and a virtual display of their own, as the end-to-end tests do.
if [ ! -f "$prefix/.display" ]; then
  "$root/scripts/wineserver-ctl.sh" start "$prefix" >&2
  trap '"$root/scripts/wineserver-ctl.sh" stop "$prefix" >/dev/null' EXIT
fi
gui_prefix "$gui_prefix"

# ---- Data -----------------------------------------------------------------------------------
# Sizes: the full scale is gamegen --full (original archives about 4.51 GB); the smaller
# scales (gb: 1 GB, the demo's size) keep all 411 archives and their entries and scale the data.
gen_args() {
  case $1 in
    full) echo "--full" ;;
    gb) echo "--bytes 1000000000" ;;
    tenth) echo "--bytes 451453000" ;;
    hundredth) echo "--bytes 45145300" ;;
    smoke) echo "--archives 12 --bytes 3000000" ;;
    *) say "unknown scale $1"; exit 2 ;;
  esac
}

# The original folder, its patch and the installer carrying that patch.
generate() {  # scale dir
  local args
  args="$(gen_args "$1") --seed 11"
  if [ -f "$2/.args" ] && [ "$(cat "$2/.args")" = "$args" ]; then
    say "$1: reusing $2"
  else
    rm -rf "$2"
    say "$1: generating ($args)"
    # shellcheck disable=SC2086
    "$gamegen" --out "$2" $args --quiet
    "$patchbuild" fingerprint --game "$2/game" --patch "$2/patch" --quiet >&2
    echo "$args" >"$2/.args"
  fi
  # Always made anew: the installer of this build.
  "$root/scripts/in-session.sh" "$gui_prefix" "$dllpath" "$build/$win/patchbuild.exe" installer --quiet \
    --patch "$(winpath "$2/patch")" --out "$(winpath "$2/setup.exe")" --template "$(winpath "$setup_exe")" >&2
}

verify() {  # original-dir game-dir what
  local name original expected records bad=0
  while read -r name original expected records; do
    name=${name//\\//}
    cmp -s "$2/$name" "$1/expected/$name" || { say "DIFFERS from expected: $name"; bad=1; }
  done <"$1/archives.txt"
  [ -z "$(find "$2" -name '*.tmp' -o -name '*.tm~')" ] || { say "$3: temporary files left"; bad=1; }
  ((bad == 0)) || { say "$3: the patched folder is not byte-identical to the expected one"; exit 1; }
}

drop_caches() {  # game-dir
  sync
  if [ "$cache" = cold ]; then
    echo 3 >/proc/sys/vm/drop_caches
  else
    find "$1" -type f -exec cat {} + >/dev/null
  fi
}

# A fresh copy of the original folder, as the player's disk holds it: written anew, on the
# disk, nothing of it in the page cache.
fresh_copy() {  # original-dir game-dir
  rm -rf "$2"
  cp -r "$1/game" "$2"
  drop_caches "$2"
}

load() { cut -d' ' -f1 /proc/loadavg; }

run_patch() {  # original-dir game-dir
  "$root/scripts/wine-run.sh" "$prefix" "$dllpath" "$bench_exe" \
    --game "$(winpath "$2")" --patch "$(winpath "$1/patch")" | tr -d '\r' | tee -a "$1/bench.log" |
    grep '^RESULT' | tail -1
}

# The installer through its windows, driven like a user; the driver times the run from the
# folder's acceptance to the closing message.
run_window() {  # original-dir game-dir sample-ms [quick]
  local log="$1/driver.log" timing
  # The bar must end at 100, except where the run may be over before the progress dialog is
  # up or looked at (updates before it is up have no effect): on the smoke test's 12 tiny
  # archives, and in a quick run over a folder already patched.
  local last=(min-position=100)
  { ((smoke)) || [ "${4:-}" = quick ]; } && last=(progress=optional)
  xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/in-session.sh" "$gui_prefix" "$dllpath" \
    "$e2e/e2e_driver.exe" install setup="$(winpath "$1/setup.exe")" game="$(winpath "$2")" hook="$(winpath "$e2e/e2e_hook.dll")" \
    archives="$(winpath "$1/archives.txt")" progress-total="$(winpath "$1/patch/progress_total.bin")" \
    "${last[@]}" timeout=3600 sample="$3" >"$log" 2>&1 || true
  cat "$log" >>"$1/bench.log"
  grep -q '^E2E PASS install' "$log" || { tail -5 "$log" >&2; say "the window run failed"; return 1; }
  [ -f "$2/KSTRLangSet.exe" ] || { say "the window run wrote no KSTRLangSet.exe"; exit 1; }
  timing=$(grep '^E2E TIMING' "$log" | tail -1)
  timing=${timing#E2E TIMING }
  local ms=${timing#run_ms=}
  ms=${ms%% *}
  echo "seconds=$(awk -v ms="$ms" 'BEGIN { printf "%.4f", ms / 1000 }') failed=0 messages=0 $timing"
}

run_floor() {  # original-dir game-dir [io_floor options]
  local dir=$1 game=$2
  shift 2
  "$floor" --game "$game" --list "$dir/archives.txt" "$@" | grep '^RESULT'
}

# Every archive's modification time (nanoseconds), one "name time" line each.
stamps() { find "$1" -name '*.arc' -printf '%P %T@\n' | sort; }
# The names (as stamps() gives them) whose time differs between two stamp files.
written() { join "$1" "$2" | awk '$2 != $3 {print $1}'; }

# Five archives spread over the list (lines of archives.txt) and the list of just those.
restored_list() {  # original-dir out-list
  awk -v n="$(wc -l <"$1/archives.txt")" 'BEGIN {for (k = 0; k < 5; ++k) pick[int(k * n / 5) + 1] = 1}
    pick[NR]' "$1/archives.txt" >"$2"
}

# The player's run once more on the folder the window run left, then after five archives
# were put back to their original bytes. Each must leave the folder as expected and write
# exactly the archives it has to (none, then those five).
run_again_and_repair() {  # original-dir game-dir sample-ms run
  local dir=$1 game=$2 ms=$3 i=$4 r l name
  stamps "$game" >"$dir/stamps.before"
  drop_caches "$game"; l=$(load)
  r=$(run_window "$dir" "$game" "$ms" quick)
  verify "$dir" "$game" "$scale second window run"
  stamps "$game" >"$dir/stamps.after"
  local changed
  changed=$(written "$dir/stamps.before" "$dir/stamps.after" | wc -l)
  ((changed == 0)) || { say "$scale: the second run wrote $changed archives"; exit 1; }
  record "$scale" again "$i" "$r written=$changed" "$l"

  restored_list "$dir" "$dir/restored.txt"
  while read -r name _; do
    name=${name//\\//}
    cp "$dir/game/$name" "$game/$name"
  done <"$dir/restored.txt"
  stamps "$game" >"$dir/stamps.before"
  drop_caches "$game"; l=$(load)
  r=$(run_window "$dir" "$game" "$ms" quick)
  verify "$dir" "$game" "$scale repair run"
  stamps "$game" >"$dir/stamps.after"
  written "$dir/stamps.before" "$dir/stamps.after" >"$dir/written.txt"
  awk '{gsub(/\\/, "/", $1); print $1}' "$dir/restored.txt" | sort | cmp -s - "$dir/written.txt" ||
    { say "$scale: the repair run did not rewrite exactly the five restored archives"; exit 1; }
  local bytes
  bytes=$(awk '{s += $2} END {printf "%.0f", s}' "$dir/restored.txt")
  record "$scale" repair "$i" "$r written=$(wc -l <"$dir/written.txt") restored_bytes=$bytes" "$l"
  # The floor for the five alone, on the same folder.
  drop_caches "$game"; l=$(load)
  r=$("$floor" --game "$game" --list "$dir/restored.txt" --sync | grep '^RESULT')
  record "$scale" repair_floor "$i" "$r" "$l"
}

results="$data/results.txt"
mkdir -p "$data"
: >"$results"
record() { echo "$1 $2 $3 ${4#RESULT } load=$5" >>"$results"; }  # scale kind run result load-before

for scale in $scales; do
  dir="$data/$scale"
  work="$data/$scale.game"
  generate "$scale" "$dir"
  : >"$dir/bench.log"
  bytes=$(awk '{s += $2} END {printf "%.0f", s}' "$dir/archives.txt")
  echo "$scale bytes 0 bytes=$bytes" >>"$results"
  for ((i = 1; i <= runs; ++i)); do
    # The configurations take turns, each on a fresh copy of the same original folder.
    for ms in $samples; do
      say "$scale: run $i of $runs: through the window (driver looks every $ms ms)"
      fresh_copy "$dir" "$work"; l=$(load)
      if ! r=$(run_window "$dir" "$work" "$ms"); then
        # Wine now and then shows a dialog of its own before the installer's first one
        # (its prefix being brought up to date); a run that never reached the progress
        # window is made once more on a fresh copy.
        grep -q 'progress dialog is up' "$dir/driver.log" && exit 1
        say "$scale: the installer did not get to its run; once more"
        fresh_copy "$dir" "$work"; l=$(load)
        r=$(run_window "$dir" "$work" "$ms")
      fi
      record "$scale" "window$ms" "$i" "$r" "$l"
      verify "$dir" "$work" "$scale window run"
      if [ "$ms" = "${samples%% *}" ]; then
        say "$scale: run $i of $runs: through the window again, then after five archives were restored"
        run_again_and_repair "$dir" "$work" "$ms" "$i"
      fi
    done
    say "$scale: run $i of $runs: no window, first and second run"
    fresh_copy "$dir" "$work"; l=$(load)
    r=$(run_patch "$dir" "$work"); record "$scale" first "$i" "$r" "$l"
    verify "$dir" "$work" "$scale first run"
    drop_caches "$work"; l=$(load)
    r=$(run_patch "$dir" "$work"); record "$scale" second "$i" "$r" "$l"
    verify "$dir" "$work" "$scale second run"
    [[ " $r " == *" already=$(wc -l <"$dir/archives.txt") "* ]] ||
      { say "$scale: the no-window second run rewrote archives: $r"; exit 1; }
    say "$scale: run $i of $runs: floor+fsync"
    fresh_copy "$dir" "$work"; l=$(load)
    r=$(run_floor "$dir" "$work" --sync); record "$scale" floor_fsync "$i" "$r" "$l"
  done
  rm -rf "$work"
  ((keep)) || ((smoke)) || rm -rf "$dir"
done

# ---- Report ---------------------------------------------------------------------------------
{
  echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -n): $(nproc) CPUs ($(lscpu | sed -n 's/^Model name: *//p' | head -1)),"
  echo "# $(free -g | awk '/^Mem/ {print $2}') GB RAM, $(df -T "$data" | awk 'NR == 2 {print $2}') on $(df "$data" | awk 'NR == 2 {print $1}'),"
  echo "# $(wine --version 2>/dev/null), the $win installer, caches $cache, median of $runs run(s), load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$results.head"
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
