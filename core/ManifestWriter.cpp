#include "core/ManifestWriter.h"

namespace {
void PutU32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
} // namespace

std::vector<unsigned char> SerializeManifest(const std::vector<ManifestArchive>& archives) {
    std::vector<unsigned char> out;
    PutU32(out, static_cast<uint32_t>(archives.size()));
    for (const ManifestArchive& a : archives) {
        PutU32(out, static_cast<uint32_t>(a.name.size() + 1));
        for (char16_t c : a.name) {
            out.push_back(static_cast<unsigned char>(c & 0xFF));
            out.push_back(static_cast<unsigned char>(c >> 8));
        }
        out.push_back(0);
        out.push_back(0);
        PutU32(out, static_cast<uint32_t>(a.records.size()));
        for (const EntryPatch& p : a.records) {
            PutU32(out, p.entryIndex);
            PutU32(out, p.sizeWord);
            PutU32(out, p.storedLength);
            PutU32(out, p.payloadOffset);
        }
    }
    return out;
}

std::u16string WidenAscii(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::string NarrowAscii(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}
