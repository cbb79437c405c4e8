#include "ArchiveFixture.h"

namespace {
Bytes Header(uint16_t n) {
    return {'T', 'A', 'R', 'C', 0x09, 0x02, static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8)};
}
void PutLead(Bytes& b, size_t at, uint32_t i) {
    for (uint32_t k = 0; k < 68; ++k) b[at + k] = static_cast<unsigned char>(0xA0 + i * 3 + k);
}
} // namespace

Bytes BuildArchive(const FixtureArchive& a) {
    const uint32_t n = static_cast<uint32_t>(a.entries.size());
    Bytes out = Header(static_cast<uint16_t>(n));
    out.resize(8 + 80 * n + a.gapBeforeData, 0x5A); // a gap that is not zero
    std::vector<uint32_t> offsets(n);
    for (uint32_t k = 0; k < n; ++k) {
        // Out of order: entry 0 first (its offset starts the data region), the rest reversed.
        uint32_t i = a.reversedData && k ? n - k : k;
        offsets[i] = static_cast<uint32_t>(out.size());
        out.insert(out.end(), a.entries[i].data.begin(), a.entries[i].data.end());
        out.insert(out.end(), a.gapBetween, 0xEE);
    }
    out.insert(out.end(), a.trailing, 0x77);
    for (uint32_t i = 0; i < n; ++i) {
        size_t at = 8 + 80 * i;
        PutLead(out, at, i);
        PutU32(out, at + 68, static_cast<uint32_t>(a.entries[i].data.size()));
        PutU32(out, at + 72, a.entries[i].sizeWord);
        PutU32(out, at + 76, offsets[i]);
    }
    return out;
}

Bytes ExpectedArchive(const FixtureArchive& a, const std::vector<FixtureRecord>& records) {
    const uint32_t n = static_cast<uint32_t>(a.entries.size());
    Bytes source = BuildArchive(a);
    uint32_t dataStart = source[8 + 76] | source[8 + 77] << 8 | source[8 + 78] << 16 | uint32_t(source[8 + 79]) << 24;
    Bytes out(source.begin(), source.begin() + 8 + 80 * n);
    out.resize(dataStart, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const FixtureRecord* rec = nullptr;
        for (const auto& r : records)
            if (r.index == i) { rec = &r; break; }
        const Bytes& data = rec ? rec->data : a.entries[i].data;
        size_t at = 8 + 80 * i;
        PutU32(out, at + 68, static_cast<uint32_t>(data.size()));
        PutU32(out, at + 72, rec ? (rec->sizeWord | 0x40000000u) : a.entries[i].sizeWord);
        PutU32(out, at + 76, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

FixtureArchive TypicalArchive() {
    FixtureArchive a;
    a.entries = {
        {Pattern(3000, 1), 0x0000F000},
        {Pattern(1 << 20, 2), 0x00120000},       // exactly 1 MiB: full chunks only
        {Pattern(0, 3), 0x00000010},             // zero-length entry
        {Pattern((1 << 20) + 17, 4), 0x00200000},
        {Pattern(77, 5), 0x40000100},
        {Pattern(4096, 6), 0x00002000},
    };
    a.gapBeforeData = 0x20000 + 33; // the zero fill needs a full 128 KiB chunk and a rest
    a.gapBetween = 16;
    a.reversedData = true;
    a.trailing = 500;
    return a;
}
