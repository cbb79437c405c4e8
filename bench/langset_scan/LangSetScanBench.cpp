// Benchmark (not a test) of the switcher's anchor scan: the time to scan a generated 32 MiB
// game executable whose anchor lies at its very end, against the time to read the file once
// in the same blocks; and, for scale, the one-byte-per-read scan extrapolated from its
// first 2 MiB. The file is warm in the page cache for every measurement; the best of five
// runs counts.
//   langset_scan_bench FILE [SIZE_MIB]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "core/AnchorSearch.h"

namespace {

using Clock = std::chrono::steady_clock;

// Machine code is dense in 0F (two-byte opcodes), and the anchor's own prefixes occur: one
// byte in 40 is 0F and one in 4096 starts an 8-byte partial anchor.
uint32_t Generate(const char* path, uint32_t size) {
    std::vector<unsigned char> b(size);
    std::mt19937 rng(2024);
    for (auto& x : b) {
        const uint32_t r = rng();
        x = (r % 40 == 0) ? 0x0F : static_cast<unsigned char>(r >> 24);
    }
    for (uint32_t at = 1000; at + 8 < size - 200; at += 4096) std::memcpy(&b[at], kAnchor, 8);
    const uint32_t anchor = size - 64;
    std::memcpy(&b[anchor], kAnchor, kAnchorSize);
    FILE* f = std::fopen(path, "wb");
    if (!f || std::fwrite(b.data(), 1, b.size(), f) != b.size() || std::fclose(f) != 0) {
        std::perror(path);
        std::exit(1);
    }
    return anchor;
}

struct Fd {
    int fd;
};

bool ReadBlock(void* context, unsigned char* buffer, uint32_t count) {
    const int fd = static_cast<Fd*>(context)->fd;
    while (count > 0) {
        const ssize_t got = read(fd, buffer, count);
        if (got <= 0) return false;
        buffer += got;
        count -= static_cast<uint32_t>(got);
    }
    return true;
}

int g_lastProgress = -1;
void NoteProgress(void*, int position) { g_lastProgress = position; }

std::vector<unsigned char> g_buffer(kScanBufferSize);

double ReadOnceMs(const char* path, uint32_t size) {
    Fd fd{open(path, O_RDONLY)};
    const auto t0 = Clock::now();
    for (uint32_t done = 0; done < size;) {
        const uint32_t count = std::min<uint32_t>(kScanBufferSize, size - done);
        if (!ReadBlock(&fd, g_buffer.data(), count)) std::exit(1);
        done += count;
    }
    const auto t1 = Clock::now();
    close(fd.fd);
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

double ScanMs(const char* path, uint32_t size, uint32_t expected) {
    Fd fd{open(path, O_RDWR)};
    uint32_t found = 0;
    const auto t0 = Clock::now();
    const AnchorScanResult r =
        FindAnchor(size, g_buffer.data(), kScanBufferSize, AnchorScanIo{ReadBlock, NoteProgress, &fd}, &found);
    const auto t1 = Clock::now();
    close(fd.fd);
    if (r != AnchorScanResult::Found || found != expected) {
        std::fprintf(stderr, "scan did not find the anchor at %u\n", expected);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

// The scan as one read per byte, with a 12-byte read where a 0F occurs, over `span` bytes.
double ByteAtATimeMs(const char* path, uint32_t span) {
    const int fd = open(path, O_RDONLY);
    unsigned char byte, window[kAnchorSize];
    const auto t0 = Clock::now();
    for (uint32_t p = 0; p < span; ++p) {
        if (read(fd, &byte, 1) != 1) std::exit(1);
        if (byte != 0x0F) continue;
        lseek(fd, -1, SEEK_CUR);
        if (read(fd, window, kAnchorSize) != kAnchorSize) std::exit(1);
        lseek(fd, -11, SEEK_CUR);
    }
    const auto t1 = Clock::now();
    close(fd);
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [SIZE_MIB]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const uint32_t size = (argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 32u) << 20;
    const uint32_t anchor = Generate(path, size);

    ReadOnceMs(path, size);  // warm the page cache
    double read = 1e9, scan = 1e9;
    for (int i = 0; i < 5; ++i) {
        read = std::min(read, ReadOnceMs(path, size));
        scan = std::min(scan, ScanMs(path, size, anchor));
    }
    const uint32_t span = std::min<uint32_t>(size, 2u << 20);
    const double byteWise = ByteAtATimeMs(path, span) * (static_cast<double>(size) / span);

    std::printf("langset scan: %.1f MiB executable, anchor at %u (the last progress shown: %d)\n",
                size / 1048576.0, anchor, g_lastProgress);
    std::printf("  read once in 1 MiB blocks : %8.1f ms\n", read);
    std::printf("  block scan                : %8.1f ms\n", scan);
    std::printf("  one read per byte (est.)  : %8.1f ms\n", byteWise);
    std::printf("ratio scan / read once: %.2f\n", scan / read);
    std::printf("ratio one-byte reads / block scan: %.0f\n", byteWise / scan);
    return 0;
}
