#include "payload/FingerprintResource.h"

#include <cstdlib>

#include "payload/Fingerprints.h"
#include "payload/Resources.h"

int LoadFingerprints(int id) {
    uint32_t size = 0;
    const unsigned char* data = GetPayloadData(id, &size);
    if (!data) {
        FreeFingerprints();
        return 0;
    }
    return LoadFingerprintsFromBytes(data, size);
}

int LoadFingerprintsFromBytes(const unsigned char* bytes, size_t size) {
    FreeFingerprints();
    auto* table = static_cast<FingerprintTable*>(std::calloc(1, sizeof(FingerprintTable)));
    if (!table) return 0;
    if (!ParseFingerprints(bytes, size, table)) {
        std::free(table);
        return 0;
    }
    g_fingerprints = table;
    return 1;
}

void FreeFingerprints() {
    FingerprintTable* table = g_fingerprints;
    g_fingerprints = nullptr;
    if (!table) return;
    FreeFingerprintTable(table);
    std::free(table);
}
