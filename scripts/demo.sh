#!/usr/bin/env bash
# The installer on a synthetic game folder, from nothing to a patched folder:
#   scripts/demo.sh [--interactive] [--full | --bytes N] [--build-dir DIR]
#
# Installs what is missing (scripts/bootstrap.sh), builds everything, generates a game folder
# with its patch (tools/gamegen, about 1 GB of archives by default; --full: the full-size
# layout, about 4.6 GB, on which the progress bar reaches 100) and runs the real installer on
# it under Wine. The installer is the shipped 32-bit build, carrying the generated patch (under
# qemu-user emulation where the kernel runs no 32-bit code); only on a machine where 32-bit
# Wine cannot be had at all it is the x86_64 build of the same sources.
#   default        on a virtual display (Xvfb), driven like a user by the end-to-end driver,
#                  which prints every step; screenshots go to artifacts/demo/screenshots/
#   --interactive  on your display: you click through it yourself
# Afterwards every archive is compared with the bytes a correct patch gives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
interactive=0
size=(--bytes 1000000000)
while (($#)); do
  case $1 in
    --interactive) interactive=1; shift ;;
    --full) size=(--full); shift ;;
    --bytes) size=(--bytes "$2"); shift 2 ;;
    --build-dir) build=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    *) echo "usage: $0 [--interactive] [--full | --bytes N] [--build-dir DIR]" >&2; exit 2 ;;
  esac
done
if ((interactive)) && [ -z "${DISPLAY:-}" ]; then
  echo "demo: --interactive needs a display (DISPLAY is not set)" >&2
  exit 2
fi

say() { printf '\ndemo: %s\n' "$*"; }

say "installing what is missing and building (scripts/bootstrap.sh, scripts/build.sh)"
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" --build-dir "$build"

# The run itself, which CTest also runs on a small folder (demo.smoke).
flags=()
((interactive)) && flags+=(--interactive)
exec "$root/scripts/demo-run.sh" --build-dir "$build" --out "$root/artifacts/demo" "${size[@]}" "${flags[@]}"
