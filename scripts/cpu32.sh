#!/usr/bin/env bash
# Prints how this machine executes 32-bit x86 code, which 32-bit Wine needs:
#   native    the kernel runs it (IA32 emulation)
#   emulated  the kernel cannot, but qemu-user runs it through binfmt_misc (scripts/bootstrap.sh
#             registers that where the kernel cannot)
#   none      neither: a 32-bit ELF fails with "Exec format error"
# A tiny static 32-bit program asks the kernel for its machine name: a 64-bit kernel running
# 32-bit code natively says x86_64, qemu-i386 answers for the CPU it emulates (i686).
set -u
bin=${TMPDIR:-/tmp}/kstr-cpu32.$(id -u)
if [ ! -x "$bin" ]; then
  dir=$(mktemp -d)
  # uname(&buf) (new_utsname: six fields of 65 bytes, the machine name at 260); exit 0 when
  # the name starts with 'x', else 3.
  cat >"$dir/t.s" <<'ASM'
.globl _start
_start:
  subl $400, %esp
  movl $122, %eax
  movl %esp, %ebx
  int $0x80
  xorl %ebx, %ebx
  cmpb $'x', 260(%esp)
  je 1f
  movl $3, %ebx
1: movl $1, %eax
  int $0x80
ASM
  as --32 -o "$dir/t.o" "$dir/t.s" 2>/dev/null && ld -m elf_i386 -o "$dir/t" "$dir/t.o" 2>/dev/null &&
    mv "$dir/t" "$bin"
  rm -rf "$dir"
fi
"$bin" 2>/dev/null
case $? in
  0) echo native ;;
  3) echo emulated ;;
  *) echo none ;;
esac
