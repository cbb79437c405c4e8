#include "core/FingerprintWriter.h"

#include "core/Fingerprints.h"

namespace {
void PutU32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void PutU64(std::vector<unsigned char>& out, uint64_t v) {
    PutU32(out, static_cast<uint32_t>(v));
    PutU32(out, static_cast<uint32_t>(v >> 32));
}
} // namespace

std::vector<unsigned char> SerializeFingerprints(const std::vector<FingerprintRecord>& records,
                                                 uint32_t version) {
    std::vector<unsigned char> out(kFingerprintMagic, kFingerprintMagic + 4);
    PutU32(out, version);
    PutU32(out, static_cast<uint32_t>(records.size()));
    for (const FingerprintRecord& r : records) {
        PutU32(out, static_cast<uint32_t>(r.name.size() + 1));
        for (char16_t c : r.name) {
            out.push_back(static_cast<unsigned char>(c & 0xFF));
            out.push_back(static_cast<unsigned char>(c >> 8));
        }
        out.push_back(0);
        out.push_back(0);
        PutU32(out, r.entryCount);
        if (version >= kFingerprintVersion) out.insert(out.end(), r.header.begin(), r.header.end());
        PutU64(out, r.tableHash);
        PutU64(out, r.keptHash);
        PutU64(out, r.originalHash);
    }
    return out;
}
