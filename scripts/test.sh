#!/usr/bin/env bash
# The whole test suite from nothing: installs what is missing, builds everything, runs CTest
# (native unit tests under ASan/UBSan, fuzz smoke runs, and the Windows programs under Wine).
#   scripts/test.sh [extra ctest arguments]
# Long modes: KSTR_LONG_TESTS=1 scripts/test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" --build-dir "$root/build"
cd "$root/build"
ctest --output-on-failure "$@"
