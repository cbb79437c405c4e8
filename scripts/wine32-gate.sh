#!/usr/bin/env bash
# wine32-gate.sh EXE [WHAT]: exits 77 after printing the reason ("SKIP: ...") when
# EXE is a 32-bit program this machine's Wine cannot run, 0 otherwise. For callers
# that are not shell scripts (the reliability harnesses); scripts use wine32_skip directly.
set -u
. "$(dirname "$0")/wine-env.sh"
wine32_skip "$@" && exit 77
exit 0
