// Build-time side of the fingerprint table: serialises what ParseFingerprints reads.
// Used by the tools and tests on the build machine, never by the installer.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Fingerprints.h"

struct FingerprintRecord {
    std::u16string name;  // as the manifest names the archive, without the NUL
    uint32_t entryCount = 0;
    uint64_t tableHash = 0;
    uint64_t keptHash = 0;
    uint64_t originalHash = 0;
    std::array<unsigned char, kFingerprintHeaderSize> header{}; // the archive's header (written from version 2 on)
};

// The current format by default; version 1 (no headers) for the tests of older tables.
std::vector<unsigned char> SerializeFingerprints(const std::vector<FingerprintRecord>& records,
                                                 uint32_t version = kFingerprintVersion);
