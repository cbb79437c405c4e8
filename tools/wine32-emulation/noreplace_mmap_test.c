/* Checks, in a 32-bit process with the preload library, that MAP_FIXED_NOREPLACE means what
 * the kernel makes it mean: a mapping asked for at a free address lands there; one asked for
 * over an existing mapping fails with EEXIST, leaves that mapping as it was and maps nothing
 * else. Both symbols (mmap and mmap64) and a file mapping at an offset are checked. Prints
 * "noreplace: N passed, M failed". */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

typedef void *(*map_call)(void *, size_t, int, int, int, long long);
static void *call_mmap(void *a, size_t n, int p, int f, int fd, long long o) { return mmap(a, n, p, f, fd, (off_t)o); }
static void *call_mmap64(void *a, size_t n, int p, int f, int fd, long long o) { return mmap64(a, n, p, f, fd, o); }

static int passed, failed;
static void check(int ok, const char *what, const char *name)
{
    printf("%s %s: %s\n", ok ? "ok  " : "FAIL", name, what);
    ok ? ++passed : ++failed;
}

/* The process's mappings as text, to see that a refused call mapped nothing. */
static char *read_maps(void)
{
    static char text[1 << 16];
    FILE *f = fopen("/proc/self/maps", "r");
    size_t n = f ? fread(text, 1, sizeof text - 1, f) : 0;
    if (f)
        fclose(f);
    text[n] = 0;
    return strdup(text);
}

static const int anon = MAP_PRIVATE | MAP_ANONYMOUS;

static void check_symbol(map_call map, const char *name)
{
    const size_t page = (size_t)sysconf(_SC_PAGESIZE), len = 4 * page;
    /* A free address: one just given back to the system. */
    char *free_at = map(NULL, len, PROT_READ | PROT_WRITE, anon, -1, 0);
    munmap(free_at, len);
    char *got = map(free_at, len, PROT_READ | PROT_WRITE, anon | MAP_FIXED_NOREPLACE, -1, 0);
    check(got == free_at, "a free address is mapped where asked", name);
    if (got != free_at)
        return;
    memset(got, 0x5a, len);

    /* Over the whole mapping, and over only its last page and the page after it. */
    char *over[2] = {got, got + len - page};
    for (int i = 0; i < 2; ++i) {
        char *before = read_maps();
        errno = 0;
        void *refused = map(over[i], 2 * page, PROT_READ, anon | MAP_FIXED_NOREPLACE, -1, 0);
        int err = errno;
        char *after = read_maps();
        check(refused == MAP_FAILED && err == EEXIST, i ? "a partly taken range fails with EEXIST"
                                                        : "a taken range fails with EEXIST", name);
        check(strcmp(before, after) == 0, "the refused call leaves no mapping behind", name);
        free(before);
        free(after);
    }
    int intact = 1;
    for (size_t k = 0; k < len; ++k)
        intact &= got[k] == 0x5a;
    check(intact, "the existing mapping keeps its bytes", name);
    munmap(got, len);

    /* A file at an offset: the offset reaches the system unchanged. */
    char path[] = "/tmp/noreplace-XXXXXX";
    int fd = mkstemp(path);
    unlink(path);
    char *data = malloc(2 * page);
    for (size_t k = 0; k < 2 * page; ++k)
        data[k] = (char)(k / page + 1);
    int written = fd >= 0 && write(fd, data, 2 * page) == (ssize_t)(2 * page);
    char *file_at = map(NULL, page, PROT_READ, MAP_PRIVATE, fd, 0);
    munmap(file_at, page);
    char *mapped = written ? map(file_at, page, PROT_READ, MAP_PRIVATE | MAP_FIXED_NOREPLACE, fd, (long long)page)
                           : MAP_FAILED;
    check(mapped == file_at && mapped[0] == 2 && mapped[page - 1] == 2, "a file maps from its offset", name);
    if (mapped != MAP_FAILED)
        munmap(mapped, page);
    free(data);
    if (fd >= 0)
        close(fd);
}

int main(void)
{
    check_symbol(call_mmap, "mmap");
    check_symbol(call_mmap64, "mmap64");
    printf("noreplace: %d passed, %d failed\n", passed, failed);
    return failed != 0;
}
