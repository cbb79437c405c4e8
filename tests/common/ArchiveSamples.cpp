#include "ArchiveSamples.h"

#include <fstream>
#include <iterator>

Bytes EntryLead(const std::string& name) {
    Bytes lead(68, 0);
    for (size_t i = 0; i < name.size() && i < 64; ++i) lead[i] = static_cast<unsigned char>(name[i]);
    PutU32(lead, 64, 0x78657400); // a type word
    return lead;
}

SampleArchive MakeSample(uint32_t n, uint32_t seed, const std::string& tag) {
    SampleArchive a;
    for (uint32_t i = 0; i < n; ++i) {
        size_t length = i == 2 ? 0 : 40 + (seed * 131 + i * 977) % 3000;
        a.entries.push_back({EntryLead(tag + "/" + std::to_string(1000 + i)), Noise(length, seed * 100 + i),
                             0x00010000u * (i + 1) + uint32_t(length)});
    }
    a.gap = 24;
    a.between = 8;
    a.reversed = true;
    a.trailing = 5;
    return a;
}

Bytes BuildSample(const SampleArchive& a) {
    const uint32_t n = static_cast<uint32_t>(a.entries.size());
    Bytes out(8 + 80 * size_t(n) + a.gap, 0x5A);
    for (int i = 0; i < 6; ++i) out[i] = a.headerLead[i];
    out[6] = static_cast<unsigned char>(n);
    out[7] = static_cast<unsigned char>(n >> 8);
    std::vector<uint32_t> offsets(n);
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t i = a.reversed && k ? n - k : k;
        offsets[i] = static_cast<uint32_t>(out.size());
        out.insert(out.end(), a.entries[i].data.begin(), a.entries[i].data.end());
        out.insert(out.end(), a.between, 0xEE);
    }
    out.insert(out.end(), a.trailing, 0x77);
    for (uint32_t i = 0; i < n; ++i) {
        size_t at = 8 + 80 * size_t(i);
        std::copy(a.entries[i].lead.begin(), a.entries[i].lead.end(), out.begin() + at);
        PutU32(out, at + 68, static_cast<uint32_t>(a.entries[i].data.size()));
        PutU32(out, at + 72, a.entries[i].sizeWord);
        PutU32(out, at + 76, offsets[i]);
    }
    return out;
}

bool ParseSample(const Bytes& bytes, SampleArchive* a) {
    if (bytes.size() < 8) return false;
    *a = SampleArchive{};
    for (int i = 0; i < 6; ++i) a->headerLead[i] = bytes[i];
    uint32_t n = bytes[6] | bytes[7] << 8;
    if (bytes.size() < 8 + 80 * size_t(n)) return false;
    a->gap = a->between = a->trailing = 0;
    a->reversed = false;
    for (uint32_t i = 0; i < n; ++i) {
        size_t at = 8 + 80 * size_t(i);
        uint32_t length = GetU32(bytes, at + 68), offset = GetU32(bytes, at + 76);
        if (uint64_t(offset) + length > bytes.size()) return false;
        a->entries.push_back({Bytes(bytes.begin() + at, bytes.begin() + at + 68),
                              Bytes(bytes.begin() + offset, bytes.begin() + offset + length),
                              GetU32(bytes, at + 72)});
    }
    return true;
}

Bytes ReferenceRewrite(const Bytes& archive, const std::vector<SampleRecord>& records) {
    SampleArchive a;
    if (!ParseSample(archive, &a)) return {};
    for (const SampleRecord& r : records) {
        a.entries[r.index].data = r.data;
        a.entries[r.index].sizeWord = r.sizeWord | 0x40000000u;
    }
    uint32_t dataStart = GetU32(archive, 8 + 76);
    Bytes out = BuildSample(a);
    // Packed from entry 0's old offset, zero gap, no trailing bytes.
    out.resize(dataStart);
    std::fill(out.begin() + 8 + 80 * a.entries.size(), out.end(), 0);
    for (size_t i = 0; i < a.entries.size(); ++i) {
        PutU32(out, 8 + 80 * i + 76, static_cast<uint32_t>(out.size()));
        PutU32(out, 8 + 80 * i + 68, static_cast<uint32_t>(a.entries[i].data.size()));
        out.insert(out.end(), a.entries[i].data.begin(), a.entries[i].data.end());
    }
    return out;
}

std::filesystem::path DiskPathOf(const std::filesystem::path& root, const std::string& name) {
    std::string relative = name;
    for (char& c : relative)
        if (c == '\\') c = '/';
    return root / relative;
}
