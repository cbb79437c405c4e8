#!/usr/bin/env bash
# Benchmark of the language switcher's anchor scan (not a test): builds the native benchmark
# and prints the scan time of a generated 32 MiB executable against one plain read of it.
#   scripts/bench-langset.sh [--build-dir DIR] [--size MIB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
size=32
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    *) echo "usage: $0 [--build-dir DIR] [--size MIB]" >&2; exit 2 ;;
  esac
done
out="$build/bench-langset"
mkdir -p "$out"
c++ -std=c++17 -O2 -Wall -Wextra -I"$root" -o "$out/langset_scan_bench" \
  "$root/bench/langset_scan/LangSetScanBench.cpp" "$root/core/AnchorSearch.cpp"
"$out/langset_scan_bench" "$out/Kestrune_bench.exe" "$size"
rm -f "$out/Kestrune_bench.exe"
