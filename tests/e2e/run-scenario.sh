#!/usr/bin/env bash
# One end-to-end scenario of the installer: prepares a game folder, runs the installer under
# Wine on a fresh Xvfb display driven by e2e_driver.exe, then checks the game folder to the
# byte. Screenshots land in <native build>/artifacts/e2e/<build>/<scenario>/.
#   run-scenario.sh --build win32|win64 --bin SUBBUILD --native NATIVEBUILD --prefix PREFIX
#                   --dllpath DIR --companion EXE|"" --scenario NAME --exe REL.EXE --picker shell|script
#                   [--dpi N [--screen WxH]]
# --dpi: the display scaled to N DPI (96 is 100 %), in a prefix of its own (PREFIX-dpiN) on a
# screen of 1024 x 768 scaled alike, or of WxH pixels (PREFIX-dpiN-WxH); the driver checks
# that the session sees that DPI.
# Prints "E2E SCENARIO PASS" at the end; exits 77 when the scenario cannot run here.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
companion=""
dpi=96
screen=""
while (($#)); do
  case $1 in
    --build) build=$2 ;;
    --bin) bin=$2 ;;
    --native) native=$2 ;;
    --prefix) prefix=$2 ;;
    --dllpath) dllpath=$2 ;;
    --companion) companion=$2 ;;
    --scenario) scenario=$2 ;;
    --exe) exe=$2 ;;
    --picker) picker=$2 ;;
    --dpi) dpi=$2 ;;
    --screen) screen=$2 ;;
    *) echo "usage: see $0" >&2; exit 2 ;;
  esac
  shift 2
done

fail() { echo "E2E FAIL: $*"; exit 1; }
say() { echo "e2e: $*"; }

. "$root/scripts/wine-env.sh"
setup="$bin/$exe"
[ -f "$setup" ] || fail "$setup is not built"

# The shipped 32-bit installer runs every scenario wherever 32-bit Wine runs (natively or
# emulated); elsewhere it is skipped with the reason.
wine32_skip "$setup" "the 32-bit installer" && exit 77
if [ "$scenario" = install-full ] && [ "${KSTR_LONG_TESTS:-0}" != 1 ]; then
  echo "SKIP: the full-size installation needs about 10 GB of disk; run it with KSTR_LONG_TESTS=1"
  exit 77
fi
for tool in xvfb-run convert; do
  command -v $tool >/dev/null || fail "$tool is missing (scripts/bootstrap.sh installs it)"
done

tag=$scenario
[ "$picker" = script ] && tag="scripted-$scenario"
if [ "$dpi" != 96 ]; then
  tag="$tag-dpi$dpi"
  prefix="$prefix-dpi$dpi"
  if [ -n "$screen" ]; then
    tag="$tag-$screen"
    prefix="$prefix-$screen"
  fi
fi
screen=${screen:-$((1024 * dpi / 96))x$((768 * dpi / 96))}
work="$native/e2e/$build/$tag"
shots="$native/artifacts/e2e/$build/$tag"
rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"
demo="$native/demo"

# One Wine prefix for the GUI sessions (created once, under a lock).
gui_prefix "$prefix" "$dpi" "$screen" || fail "cannot create the Wine prefix $prefix"

# Runs the driver in a new Wine session on a new Xvfb display.
drive() {
  local driver_scenario=$1
  shift
  say "driver: $driver_scenario $*"
  local log="$work/driver.log"
  xvfb-run -a -s "-screen 0 ${screen}x24" \
    "$root/scripts/in-session.sh" "$prefix" "$dllpath" "$bin/tests/e2e/e2e_driver.exe" "$driver_scenario" \
      setup="$(winpath "$setup")" picker="$picker" shots="$(winpath "$shots")" \
      hook="$(winpath "$bin/tests/e2e/e2e_hook.dll")" \
      companion="$companion_flag" dpi="$dpi" "$@" >"$log" 2>&1
  local rc=$?
  cat "$log"
  # Scenarios with several runs name each run's pictures (run_tag="run1-" ...).
  for f in "$shots"/*.bmp; do
    [ -f "$f" ] && convert "$f" "$shots/${run_tag:-}$(basename "${f%.bmp}").png" && rm -f "$f"
  done
  grep -q "^E2E PASS $driver_scenario" "$log" || fail "the driver did not pass (exit code $rc)"
}

# The game folder, compared to the byte.
unchanged() {
  diff -rq "$1" "$2" >/dev/null || { diff -rq "$1" "$2" | head -5; fail "$3: the game folder was changed"; }
}
patched() {
  local game=$1 expected=$2
  local out
  out=$(diff -rq -x KSTRLangSet.exe "$game" "$expected") || { echo "$out" | head -5; fail "archives differ from the expected bytes"; }
  if [ -n "$companion" ]; then
    cmp -s "$game/KSTRLangSet.exe" "$companion" || fail "KSTRLangSet.exe in the game folder is not the built companion program"
  fi
  [ -z "$(find "$game" -name '*.tmp')" ] || fail "temporary files left in the game folder"
  say "all $(find "$expected" -type f | wc -l) archives byte-exact; KSTRLangSet.exe written; no temporary files"
}

companion_flag=0
[ -n "$companion" ] && companion_flag=1
trace=(trace="$(winpath "$work/trace.txt")")
# The demo patch carries its own progress total: the run is measured against it.
demo_total=(progress-total="$(winpath "$demo/patch/progress_total.bin")")

case $scenario in
  disagree|refuse-folder|cancel-browser)
    cp -r "$demo/game" "$work/game"
    drive "$scenario"
    unchanged "$work/game" "$demo/game" "$scenario"
    ;;
  not-game)
    cp -r "$demo/game" "$work/game"
    mkdir -p "$work/other/nativePC/rom"
    echo "not a game" >"$work/other/readme.txt"
    drive not-game other="$(winpath "$work/other")"
    unchanged "$work/game" "$demo/game" "$scenario"
    [ "$(ls "$work/other")" = "$(printf 'nativePC\nreadme.txt')" ] || fail "the other folder was changed"
    ;;
  long-path)
    # A game folder whose path leaves room for the marker but not for the longest archive
    # name (Windows paths hold 259 units).
    longest=$(awk '{ if (length($1) > m) m = length($1) } END { print m }' "$demo/archives.txt")
    target=$((260 - longest + 2)) # folder units, trailing backslash included
    ((target + 30 < 260)) || fail "the manifest's names are too long for this scenario"
    dir="$work/g"
    units() { echo $((2 + ${#dir} + 1)); } # "Z:" + path + "\"
    while (($(units) < target)); do
      room=$((target - $(units) - 1))
      ((room > 40)) && room=40
      ((room < 1)) && room=1
      dir="$dir/$(head -c $room </dev/zero | tr '\0' d)"
    done
    say "game folder of $(units) units; the longest archive name has $longest"
    mkdir -p "$dir"
    cp -r "$demo/game/." "$dir/"
    drive long-path long="$(winpath "$dir")"
    unchanged "$dir" "$demo/game" "$scenario"
    ;;
  install)
    cp -r "$demo/game" "$work/game"
    drive install min-position=100 game="$(winpath "$work/game")" archives="$(winpath "$demo/archives.txt")" \
      "${demo_total[@]}" "${trace[@]}"
    patched "$work/game" "$demo/expected"
    ;;
  reinstall)
    # A second run over the patched folder gives the same bytes again (it leaves every archive
    # as it is, and may be over before its progress dialog is looked at).
    cp -r "$demo/game" "$work/game"
    for pass in 1 2; do
      run_tag="run$pass-"
      quick=()
      ((pass == 2)) && quick=(progress=optional)
      drive install game="$(winpath "$work/game")" archives="$(winpath "$demo/archives.txt")" "${demo_total[@]}" \
        "${trace[@]}" "${quick[@]}"
      patched "$work/game" "$demo/expected"
      say "run $pass over the folder: as expected"
    done
    ;;
  install-failing)
    # One archive is damaged: it is reported, left alone, and the closing message says that
    # one archive was not patched; with the archive repaired, a second run completes it.
    cp -r "$demo/game" "$work/game"
    broken=$(awk 'NR == 10 { print $1 }' "$demo/archives.txt" | tr '\\' /)
    head -c 40 "$demo/game/$broken" >"$work/game/$broken"
    cp "$work/game/$broken" "$work/broken.arc"
    run_tag="run1-"
    drive install failing=1 game="$(winpath "$work/game")" archives="$(winpath "$demo/archives.txt")" \
      "${demo_total[@]}" "${trace[@]}"
    cmp -s "$work/game/$broken" "$work/broken.arc" || fail "the damaged archive was changed"
    # Every other archive is patched.
    out=$(diff -rq -x KSTRLangSet.exe "$work/game" "$demo/expected" | grep -v "$(basename "$broken")") &&
      { echo "$out" | head -5; fail "archives other than the damaged one differ"; }
    say "the damaged archive was left as it was; every other archive is byte-exact"
    cp "$demo/game/$broken" "$work/game/$broken"
    run_tag="run2-"
    # Every other archive is already patched: a quick run (see reinstall).
    drive install game="$(winpath "$work/game")" archives="$(winpath "$demo/archives.txt")" "${demo_total[@]}" \
      "${trace[@]}" progress=optional
    patched "$work/game" "$demo/expected"
    say "after the repair a second run completed the installation"
    ;;
  install-full)
    # The full-size layout: the run's positions rise to exactly 100.
    say "generating the full-size game folder (about 4.6 GB, twice)"
    "$native/tools/gamegen/gamegen" --out "$work/data" --seed 1 --full --quiet || fail "gamegen failed"
    "$native/tools/patchbuild/patchbuild" fingerprint --game "$work/data/game" --patch "$work/data/patch" --quiet ||
      fail "cannot fingerprint the full-size game folder"
    "$root/scripts/in-session.sh" "$prefix" "$dllpath" "$bin/patchbuild.exe" installer \
      --patch "$(winpath "$work/data/patch")" --out "$(winpath "$work/setup-full.exe")" --template "$(winpath "$setup")" ||
      fail "cannot make the full-size installer"
    setup="$work/setup-full.exe"
    drive install timeout=3600 min-position=100 game="$(winpath "$work/data/game")" \
      archives="$(winpath "$work/data/archives.txt")" progress-total="$(winpath "$work/data/patch/progress_total.bin")" \
      "${trace[@]}"
    patched "$work/data/game" "$work/data/expected"
    rm -rf "$work/data"
    ;;
  author)
    # A patch author's one command: patchbuild.exe from the original and the translated
    # folder (paths with Chinese names and spaces) to a finished installer made from this
    # build's setup.exe, which then installs through its GUI like any other.
    export LC_ALL=C.UTF-8 # the Chinese paths reach Wine as UTF-8
    tool="$bin/patchbuild.exe"
    template="$bin/setup.exe"
    [ -f "$tool" ] || fail "$tool is not built"
    original="$work/原版 游戏"
    translated="$work/汉化 存档"
    out="$work/作者 输出"
    ln -s "$demo/game" "$original"
    ln -s "$demo/expected" "$translated"
    mkdir -p "$out"
    installer="$out/汉化 安装程序.exe"
    echo "an earlier installer" >"$installer"
    cp "$installer" "$work/earlier.exe"
    author() { "$root/scripts/in-session.sh" "$prefix" "$dllpath" "$tool" "$@" >"$work/author.log" 2>&1; }
    build_into() {
      author build --original "$(winpath "$original")" --translated "$(winpath "$translated")" \
        --out "$(winpath "$out/$1")" --installer "$(winpath "$installer")" --template "$(winpath "$2")"
    }
    # A foreign program and a damaged download are refused before any work, with nothing written.
    python3 - "$template" "$demo/patch/payload.bin" "$work/damaged.exe" <<'PY' || fail "cannot make the damaged template"
import sys
exe, payload = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
at = exe.find(payload)
assert at >= 0, "the payload is not stored whole in the template"
damaged = bytearray(exe)
damaged[at + len(payload) // 2] ^= 1
open(sys.argv[3], 'wb').write(damaged)
PY
    for bad in "$bin/KSTRLangSet.exe:is not a setup.exe of this patch installer" "$work/damaged.exe:is damaged"; do
      build_into refused "${bad%%:*}"
      rc=$?
      cat "$work/author.log"
      [ $rc = 1 ] || fail "a template ${bad%%:*} was not refused (exit $rc)"
      grep -q "${bad#*:}" "$work/author.log" || fail "the refusal does not say why"
      grep -q "nothing written" "$work/author.log" || fail "the refusal does not say that nothing was written"
      [ ! -e "$out/refused" ] || fail "a patch folder was written for a refused template"
      cmp -s "$installer" "$work/earlier.exe" || fail "the earlier installer was changed"
      [ ! -e "$installer.part" ] || fail "a partial installer was left beside the target"
    done
    say "a foreign and a damaged template were refused; nothing written"
    # An installer path too long to load the written file from for its check: refused at once.
    long="$out/$(printf 'deep folder %.0s' $(seq 1 20))"
    mkdir -p "$long"
    author build --original "$(winpath "$original")" --translated "$(winpath "$translated")" \
      --out "$(winpath "$out/refused")" --installer "$(winpath "$long/setup.exe")"
    rc=$?
    cat "$work/author.log"
    [ $rc = 1 ] && grep -q "the path is too long" "$work/author.log" || fail "an over-long installer path was not refused (exit $rc)"
    [ ! -e "$out/refused" ] && [ -z "$(ls "$long")" ] || fail "something was written for an over-long installer path"
    rmdir "$long"

    started=$(date +%s)
    build_into "补丁" "$template" || { cat "$work/author.log"; fail "patchbuild.exe build --installer failed"; }
    cat "$work/author.log"
    say "patchbuild.exe build --installer took $(($(date +%s) - started)) s"
    grep -q "wrote the installer .*汉化 安装程序.exe" "$work/author.log" || fail "the installer's path is not readable in the output"
    [ ! -e "$installer.part" ] || fail "a partial installer was left beside the target"
    # The installer embeds what scripts/build.sh --patch embeds for this folder: the four
    # files as they are and the digest the build records; every other resource as built.
    peres="$native/tools/peres/peres"
    # The parts' resource ids and file names as the build reads them from core/PatchParts.h.
    cat >"$work/parts.cmake" <<CMAKE
include("$root/cmake/PatchParts.cmake")
foreach(i RANGE \${PATCH_PART_LAST})
  message("\${PATCH_PART_\${i}_ID}:\${PATCH_PART_\${i}_FILE}")
endforeach()
message("\${PATCH_DIGEST_ID}:digest")
CMAKE
    mapfile -t parts < <(cmake -P "$work/parts.cmake" 2>&1)
    ((${#parts[@]} == 5)) || fail "cannot read the patch's parts: ${parts[*]}"
    patch_ids=()
    for id_file in "${parts[@]}"; do
      patch_ids+=("${id_file%%:*}")
      [ "${id_file#*:}" = digest ] && { digest_id=${id_file%%:*}; continue; }
      "$peres" "$installer" 10 "${id_file%%:*}" | cmp -s - "$out/补丁/${id_file#*:}" ||
        fail "resource ${id_file%%:*} is not the patch folder's ${id_file#*:}"
    done
    cmake -DPATCH_DIR="$out/补丁" -DOUT="$work/build-digest.txt" -P "$root/cmake/PatchDigest.cmake" ||
      fail "cannot record the build's digest"
    "$peres" "$installer" 10 "$digest_id" | cmp -s - "$work/build-digest.txt" || fail "the digest is not the one the build records"
    others() { "$peres" "$1" | grep -Ev "^10 ($(IFS='|'; echo "${patch_ids[*]}")) "; }
    diff <(others "$template") <(others "$installer") || fail "resources other than the patch changed"
    "$peres" "$installer" 10 169 | cmp -s - "$bin/KSTRLangSet.exe" || fail "the companion program changed"
    say "the installer carries the patch folder and the build's digest; every other resource as built"

    # The built manifest lists the archives sorted by name (no --first): the trace follows it.
    LC_ALL=C sort -k1,1 "$demo/archives.txt" >"$work/archives.txt"
    cp -r "$demo/game" "$work/game"
    setup="$installer"
    drive install min-position=100 game="$(winpath "$work/game")" archives="$(winpath "$work/archives.txt")" \
      progress-total="$(winpath "$out/补丁/progress_total.bin")" "${trace[@]}"
    patched "$work/game" "$demo/expected"
    ;;
  *) fail "unknown scenario $scenario" ;;
esac
say "screenshots in $shots"
echo "E2E SCENARIO PASS $build $scenario"
