// The switcher's block scan for the anchor against a literal one-start-at-a-time scan, on
// arbitrary executables.
//
// Input: byte 0 picks the scan buffer size (12 bytes up to 1 MiB), byte 1 whether zero bytes
// lead the file and how many (up to 1 MiB, so that the 256 KiB progress steps are crossed)
// and whether a read fails; the rest is the file. Properties: the same anchor (or none) and the
// same progress positions as the literal scan; reads never run past the end of the file; a
// failed read is reported unless the anchor was already found.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "core/AnchorSearch.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct MemoryFile {
    const Bytes* bytes = nullptr;
    size_t offset = 0;
    int reads = 0;
    int failAt = -1;
    bool failed = false;
    std::vector<int> progress;
};

bool Read(void* context, unsigned char* buffer, uint32_t count) {
    auto* f = static_cast<MemoryFile*>(context);
    if (f->reads++ == f->failAt) {
        f->failed = true;
        return false;
    }
    FUZZ_CHECK(f->offset + count <= f->bytes->size()); // never past the end
    std::memcpy(buffer, f->bytes->data() + f->offset, count);
    f->offset += count;
    return true;
}

void Progress(void* context, int position) { static_cast<MemoryFile*>(context)->progress.push_back(position); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t bufferSizes[] = {12, 13, 16, 19, 20, 23, 24, 31, 64, 100, 4096, kScanBufferSize};
    const uint32_t bufferSize = bufferSizes[data[0] % (sizeof bufferSizes / sizeof bufferSizes[0])];
    uint32_t lead = (data[1] & 0x48) == 0x48 ? (data[1] & 0x07) * 0x20000u + (data[1] & 0x10) * 0x800u : 0;
    // Small buffers read a byte or a few at a time: one progress step is enough for them.
    if (bufferSize < 4096 && lead > 0x48000) lead = 0x48000;
    const int failAt = data[1] & 0x20 ? (data[0] >> 4) : -1;
    Bytes file(lead, 0);
    file.insert(file.end(), data + 2, data + size);
    const uint32_t fileSize = static_cast<uint32_t>(file.size());

    // The literal scan: starts 0 .. S - 13, first byte then the whole anchor (memchr finds
    // the candidates, so the leading zeros cost little), progress at every multiple of the
    // step up to the last start examined.
    const uint32_t limit = fileSize > kAnchorSize ? fileSize - kAnchorSize : 0;
    bool found = false;
    uint32_t position = 0;
    for (uint32_t p = 0; p < limit; ++p) {
        const void* q = std::memchr(file.data() + p, kAnchor[0], limit - p);
        if (!q) break;
        p = static_cast<uint32_t>(static_cast<const unsigned char*>(q) - file.data());
        if (std::memcmp(&file[p], kAnchor, kAnchorSize) == 0) {
            found = true;
            position = p;
            break;
        }
    }
    std::vector<int> progress;
    if (limit) {
        const uint32_t last = found ? position : limit - 1;
        for (uint64_t m = 0; m <= last; m += kScanProgressStep)
            progress.push_back(static_cast<int>(double(m) / double(fileSize) * 100.0));
    }

    MemoryFile f;
    f.bytes = &file;
    f.failAt = failAt;
    Bytes buffer(bufferSize);
    uint32_t got = 0xFFFFFFFF;
    AnchorScanResult result = FindAnchor(fileSize, buffer.data(), bufferSize, AnchorScanIo{Read, Progress, &f}, &got);
    if (f.failed) {
        FUZZ_CHECK(result == AnchorScanResult::ReadFailed);
        // The progress shown so far is a prefix of the literal scan's.
        FUZZ_CHECK(f.progress.size() <= progress.size());
        FUZZ_CHECK(std::equal(f.progress.begin(), f.progress.end(), progress.begin()));
        return 0;
    }
    FUZZ_CHECK(result != AnchorScanResult::ReadFailed);
    FUZZ_CHECK((result == AnchorScanResult::Found) == found);
    if (found) {
        FUZZ_CHECK(got == position);
        FUZZ_CHECK(LanguageCodeFits(got, fileSize) == (uint64_t(got) + 24 <= fileSize));
    }
    FUZZ_CHECK(f.progress == progress);
    return 0;
}
