#include "core/Fingerprints.h"

#include <cstdlib>

#include "core/ArchiveFormat.h"
#include "core/PatchManifest.h"
#include "core/ResourceReader.h"

namespace {

constexpr uint64_t kFnvPrime = 0x100000001b3ull;

// Smallest stored archive: name length, a 2-unit name, entry count, (header,) three hashes.
constexpr size_t kMinItemSizeWithoutHeader = 4 + 2 * 2 + 4 + 3 * 8;
constexpr size_t kMinItemSize = kMinItemSizeWithoutHeader + kFingerprintHeaderSize;

bool ReadU64(ResourceReader& reader, uint64_t* value) {
    uint32_t low = 0, high = 0;
    if (!reader.ReadU32(&low) || !reader.ReadU32(&high)) return false;
    *value = uint64_t(high) << 32 | low;
    return true;
}

bool ReadItem(ResourceReader& reader, bool withHeader, ArchiveFingerprint* item) {
    uint32_t nameLength = 0;
    if (!reader.ReadU32(&nameLength)) return false;
    if (nameLength < 2 || nameLength > kMaxManifestNameLength) return false;
    if (size_t(nameLength) * 2 > reader.Remaining()) return false;
    item->name = static_cast<char16_t*>(std::malloc(size_t(nameLength) * sizeof(char16_t)));
    if (!item->name) return false;
    item->nameLength = nameLength;
    for (uint32_t i = 0; i < nameLength; ++i) {
        unsigned char b[2];
        if (!reader.Read(b, 2)) return false;
        item->name[i] = char16_t(b[0] | b[1] << 8);
    }
    // Exactly one NUL, at the end: the name compares as a C string.
    for (uint32_t i = 0; i + 1 < nameLength; ++i)
        if (item->name[i] == 0) return false;
    if (item->name[nameLength - 1] != 0) return false;
    if (!reader.ReadU32(&item->entryCount)) return false;
    item->hasHeader = withHeader;
    if (withHeader && !reader.Read(item->header, kFingerprintHeaderSize)) return false;
    return ReadU64(reader, &item->tableHash) && ReadU64(reader, &item->keptHash) &&
           ReadU64(reader, &item->originalHash);
}

void FreeItems(ArchiveFingerprint* items, uint32_t count) {
    if (!items) return;
    for (uint32_t i = 0; i < count; ++i) std::free(items[i].name);
    std::free(items);
}

} // namespace

uint64_t FnvAppend(uint64_t hash, const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= kFnvPrime;
    }
    return hash;
}

uint64_t FnvAppendU32(uint64_t hash, uint32_t value) {
    unsigned char b[4];
    StoreU32(b, value);
    return FnvAppend(hash, b, 4);
}

uint64_t HashEntryLeads(const unsigned char* table, uint32_t entryCount) {
    uint64_t hash = kFnvOffsetBasis;
    for (uint32_t i = 0; i < entryCount; ++i)
        hash = FnvAppend(hash, table + size_t(i) * kArcEntrySize, kArcEntryLeadSize);
    return hash;
}

bool FingerprintHeaderDiffers(const unsigned char* header, const ArchiveFingerprint& fingerprint) {
    if (!fingerprint.hasHeader) return false;
    for (size_t i = 0; i < kFingerprintHeaderSize; ++i)
        if (header[i] != fingerprint.header[i]) return true;
    return false;
}

bool MatchesFingerprint(const unsigned char* header, const unsigned char* table,
                        const ArchiveFingerprint& fingerprint) {
    if (FingerprintHeaderDiffers(header, fingerprint)) return false;
    uint16_t count = ArcEntryCount(header);
    if (count != fingerprint.entryCount) return false;
    return HashEntryLeads(table, count) == fingerprint.tableHash;
}

bool ParseFingerprints(const unsigned char* bytes, size_t size, FingerprintTable* out) {
    if (!bytes) return false;
    ResourceReader reader(bytes, size);
    unsigned char magic[4];
    uint32_t version = 0, count = 0;
    if (!reader.Read(magic, 4) || !reader.ReadU32(&version) || !reader.ReadU32(&count)) return false;
    for (int i = 0; i < 4; ++i)
        if (magic[i] != kFingerprintMagic[i]) return false;
    if (version != kFingerprintVersion && version != kFingerprintVersionWithoutHeader) return false;
    const bool withHeader = version == kFingerprintVersion;
    if (size_t(count) > reader.Remaining() / (withHeader ? kMinItemSize : kMinItemSizeWithoutHeader))
        return false;

    // calloc: every name starts null, so a failure part-way frees cleanly.
    auto* items = static_cast<ArchiveFingerprint*>(std::calloc(count ? count : 1, sizeof(ArchiveFingerprint)));
    if (!items) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (!ReadItem(reader, withHeader, &items[i])) {
            FreeItems(items, count);
            return false;
        }
    }
    if (reader.Remaining() != 0) {
        FreeItems(items, count);
        return false;
    }
    out->count = count;
    out->items = items;
    out->version = version;
    return true;
}

void FreeFingerprintTable(FingerprintTable* table) {
    if (!table) return;
    FreeItems(table->items, table->count);
    table->items = nullptr;
    table->count = 0;
}

const ArchiveFingerprint* FindFingerprint(const FingerprintTable& table, const char16_t* name) {
    for (uint32_t i = 0; i < table.count; ++i) {
        const char16_t* a = table.items[i].name;
        const char16_t* b = name;
        while (*a && *a == *b) ++a, ++b;
        if (*a == *b) return &table.items[i];
    }
    return nullptr;
}
