/* Preloaded into 32-bit Wine where the kernel runs no 32-bit code and qemu-user emulates it.
 *
 * Wine's ntdll reserves its address space with mmap(..., MAP_FIXED_NOREPLACE). qemu 7.2 does
 * not know that flag: it treats the address as a mere hint and maps elsewhere when the hint is
 * taken. Wine then keeps reservations in the wrong places and bisects the upper 2 GB down to
 * 64 KiB pieces, some 65,000 mmap calls and about 50 s of CPU before a process runs its first
 * instruction. Here the flag gets the kernel's meaning: the mapping lands at the address asked
 * for, or the call fails with EEXIST and leaves nothing mapped.
 *
 * ntdll imports mmap64; mmap is covered too. Only this one flag is rewritten; every other call
 * goes to the system call unchanged. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

/* The i386 mmap2 system call takes its offset in 4096-byte units. */
static void *system_mmap(void *addr, size_t length, int prot, int flags, int fd, uint64_t offset)
{
    if (offset & 4095) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return (void *)syscall(SYS_mmap2, addr, length, prot, flags, fd, (unsigned long)(offset >> 12));
}

static void *noreplace_mmap(void *addr, size_t length, int prot, int flags, int fd, uint64_t offset)
{
    if (!(flags & MAP_FIXED_NOREPLACE) || (flags & MAP_FIXED))
        return system_mmap(addr, length, prot, flags, fd, offset);
    /* Without the flag the address is a hint, taken when the whole range is free. */
    void *mapped = system_mmap(addr, length, prot, flags & ~MAP_FIXED_NOREPLACE, fd, offset);
    if (mapped == MAP_FAILED || mapped == addr)
        return mapped;
    munmap(mapped, length);
    errno = EEXIST;
    return MAP_FAILED;
}

void *mmap64(void *addr, size_t length, int prot, int flags, int fd, off64_t offset)
{
    return noreplace_mmap(addr, length, prot, flags, fd, (uint64_t)offset);
}

void *mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    /* off_t is 32-bit here: a negative offset is one past 2 GiB, not a 64-bit one. */
    return noreplace_mmap(addr, length, prot, flags, fd, (uint32_t)offset);
}
