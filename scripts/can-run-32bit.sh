#!/usr/bin/env bash
# Exit 0 when this machine can execute 32-bit x86 code (needed by Wine for 32-bit Windows
# programs). Some virtual machines have no IA32 emulation: a 32-bit ELF then fails with
# "Exec format error", and Wine's 32-bit processes die at their first instruction.
set -u
cache=${TMPDIR:-/tmp}/kstr-can-run-32bit.$(id -u)
if [ ! -f "$cache" ]; then
  dir=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\n movl $0, %%ebx\n int $0x80\n' >"$dir/t.s"
  if as --32 -o "$dir/t.o" "$dir/t.s" 2>/dev/null && ld -m elf_i386 -o "$dir/t" "$dir/t.o" 2>/dev/null &&
     "$dir/t" 2>/dev/null; then echo yes >"$cache"; else echo no >"$cache"; fi
  rm -rf "$dir"
fi
[ "$(cat "$cache")" = yes ]
