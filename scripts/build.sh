#!/usr/bin/env bash
# Builds everything: the native core, tools and tests, and the two Windows builds; leaves
# the shipped programs in dist/.
#   scripts/build.sh [--patch DIR] [--build-dir DIR] [--shipped-only]
#   --patch DIR      embed DIR/manifest.bin, DIR/payload.bin and, if present,
#                    DIR/fingerprints.bin and DIR/progress_total.bin (default: the demo patch)
#   --build-dir DIR  build tree (default: build/)
#   --shipped-only   a patch author's build: only setup.exe, KSTRLangSet.exe and patchbuild.exe (32-bit),
#                    no tests, fuzzers, benchmarks or x86_64 build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
patch=""
shipped=OFF
while (($#)); do
  case $1 in
    --patch) patch=$(cd "$2" && pwd); shift 2 ;;
    --build-dir) build=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    --shipped-only) shipped=ON; shift ;;
    *) echo "usage: $0 [--patch DIR] [--build-dir DIR] [--shipped-only]" >&2; exit 2 ;;
  esac
done
cmake -S "$root" -B "$build" -G Ninja -DPATCH_DIR="$patch" -DSHIPPED_ONLY=$shipped >/dev/null
cmake --build "$build"
echo "build: shipped programs in $root/dist/"
