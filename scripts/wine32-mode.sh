#!/usr/bin/env bash
# Prints how Wine runs 32-bit Windows programs on this machine: real, wow64 or none
# (scripts/wine-env.sh, wine32_mode, says what each means).
set -u
. "$(dirname "$0")/wine-env.sh"
wine32_mode
