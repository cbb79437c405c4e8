#!/usr/bin/env bash
# run-fuzzer.sh TARGET CORPUS WORK: runs a libFuzzer target over its committed corpus for a
# few seconds (KSTR_FUZZ_SECONDS, or 300 with KSTR_LONG_TESTS=1, default 5). New inputs and
# crash artifacts go to WORK, never into the repository's corpus.
set -u
target=$1 corpus=$2 work=$3
seconds=${KSTR_FUZZ_SECONDS:-}
if [ -z "$seconds" ]; then
  if [ "${KSTR_LONG_TESTS:-0}" = 1 ]; then seconds=300; else seconds=5; fi
fi
rm -rf "$work"
mkdir -p "$work/new" "$work/artifacts"
"$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" "$work/new" "$corpus" 2>&1 | tee "$work/log" |
  grep -E "^(stat::|#[0-9]+ +DONE|INFO: seed corpus|==[0-9]+==|SUMMARY|.*property failed)" 
rc=${PIPESTATUS[0]}
crashes=$(ls "$work/artifacts" | wc -l)
echo "fuzz run: $(basename "$target"), $seconds s, exit $rc, crash artifacts: $crashes"
if [ "$rc" -eq 0 ] && [ "$crashes" -eq 0 ]; then echo "FUZZ RUN PASSED"; else tail -40 "$work/log"; exit 1; fi
