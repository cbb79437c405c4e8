#include "core/AnchorSearch.h"

#include <algorithm>
#include <cstring>

const unsigned char kAnchor[kAnchorSize] = {0x0F, 0x7E, 0x44, 0x24, 0x44, 0x6A,
                                            0x11, 0x66, 0x0F, 0xD6, 0x46, 0x30};
const unsigned char kChineseCode[kLanguageCodeSize] = {0xB8, 0x11, 0x04, 0x00, 0x00, 0x90};
const unsigned char kEnglishCode[kLanguageCodeSize] = {0xB8, 0x09, 0x04, 0x00, 0x00, 0x90};

uint32_t AnchorScanLimit(uint32_t size) {
    return size > kAnchorSize ? size - kAnchorSize : 0;
}

int ScanProgressPosition(uint32_t position, uint32_t size) {
    return static_cast<int>(static_cast<double>(position) / static_cast<double>(size) * 100.0);
}

bool LanguageCodeFits(uint32_t anchorPos, uint32_t size) {
    return static_cast<uint64_t>(anchorPos) + kLanguageCodeOffset + kLanguageCodeSize <= size;
}

namespace {

// Nonzero when v has a zero byte (bit 7 of every zero byte is set; a byte above a zero byte
// may be flagged too, which costs only a needless full compare).
inline uint64_t ZeroBytes(uint64_t v) {
    return (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
}

inline uint64_t Load8(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// First anchor start in bytes[0 .. starts), each start with a full anchor's bytes behind it;
// -1 when none. Eight starts at a time are filtered by the anchor's first and last byte in
// two 64-bit words; where the filter lets a start through, the eight starts are compared in
// full, in order, so the first occurrence is found, overlapping candidates included.
int64_t FirstAnchorIn(const unsigned char* bytes, uint32_t starts) {
    const uint64_t first = 0x0101010101010101ull * kAnchor[0];
    const uint64_t last = 0x0101010101010101ull * kAnchor[kAnchorSize - 1];
    uint32_t s = 0;
    for (; s + 8 <= starts; s += 8) {
        if (!(ZeroBytes(Load8(bytes + s) ^ first) & ZeroBytes(Load8(bytes + s + kAnchorSize - 1) ^ last))) continue;
        for (uint32_t j = s; j < s + 8; ++j)
            if (bytes[j] == kAnchor[0] && std::memcmp(bytes + j, kAnchor, kAnchorSize) == 0) return j;
    }
    for (; s < starts; ++s)
        if (bytes[s] == kAnchor[0] && std::memcmp(bytes + s, kAnchor, kAnchorSize) == 0) return s;
    return -1;
}

} // namespace

AnchorScanResult FindAnchor(uint32_t size, unsigned char* buffer, uint32_t bufferSize,
                            const AnchorScanIo& io, uint32_t* anchorPos) {
    const uint32_t limit = AnchorScanLimit(size);
    if (limit == 0 || bufferSize < kAnchorSize) return AnchorScanResult::NotFound;
    // The last start examined needs the bytes up to limit - 1 + 11.
    const uint64_t needed = static_cast<uint64_t>(limit) + kAnchorSize - 1;

    uint32_t base = 0;   // file offset of buffer[0]
    uint32_t held = 0;   // bytes in the buffer
    uint64_t read = 0;   // bytes read from the file
    uint32_t next = 0;   // next start to examine
    while (next < limit) {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(bufferSize - held, needed - read));
        if (!io.read(io.context, buffer + held, count)) return AnchorScanResult::ReadFailed;
        held += count;
        read += count;

        // Starts whose whole anchor window is in the buffer.
        const uint32_t end = std::min<uint32_t>(limit, base + held - (kAnchorSize - 1));
        while (next < end) {
            if (next % kScanProgressStep == 0) io.progress(io.context, ScanProgressPosition(next, size));
            const uint64_t mark = (static_cast<uint64_t>(next) / kScanProgressStep + 1) * kScanProgressStep;
            const uint32_t stop = static_cast<uint32_t>(std::min<uint64_t>(end, mark));
            const int64_t hit = FirstAnchorIn(buffer + (next - base), stop - next);
            if (hit >= 0) {
                *anchorPos = next + static_cast<uint32_t>(hit);
                return AnchorScanResult::Found;
            }
            next = stop;
        }

        // Keep the tail (fewer than 12 bytes) that the next block completes.
        const uint32_t kept = held - (next - base);
        std::memmove(buffer, buffer + (next - base), kept);
        base = next;
        held = kept;
    }
    return AnchorScanResult::NotFound;
}
