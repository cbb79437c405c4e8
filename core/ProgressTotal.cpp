#include "core/ProgressTotal.h"

#include "core/ResourceReader.h"

bool ParseProgressTotal(const unsigned char* bytes, size_t size, uint32_t* units) {
    if (!bytes || size != kProgressTotalSize) return false;
    ResourceReader reader(bytes, size);
    unsigned char magic[4];
    uint32_t version = 0, value = 0;
    if (!reader.Read(magic, 4) || !reader.ReadU32(&version) || !reader.ReadU32(&value)) return false;
    for (int i = 0; i < 4; ++i)
        if (magic[i] != kProgressTotalMagic[i]) return false;
    if (version != kProgressTotalVersion) return false;
    *units = value;
    return true;
}

void StoreProgressTotal(uint32_t units, unsigned char (&out)[kProgressTotalSize]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = kProgressTotalMagic[i];
        out[4 + i] = static_cast<unsigned char>(kProgressTotalVersion >> (8 * i));
        out[8 + i] = static_cast<unsigned char>(units >> (8 * i));
    }
}
