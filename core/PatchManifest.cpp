#include "core/PatchManifest.h"

#include <cstdlib>
#include <new>

#include "core/ResourceReader.h"

namespace {

// Smallest stored archive block: name length, a 2-unit name ("a" + NUL), record count.
constexpr size_t kMinBlockSize = 4 + 2 * 2 + 4;

bool IsSafeRelativeName(const char16_t* name, uint32_t units) {
    // units excludes the NUL here.
    if (units < 4) return false;
    if (name[0] == u'\\' || name[0] == u'/') return false;
    for (uint32_t i = 0; i < units; ++i) {
        char16_t c = name[i];
        if (c == 0 || c == u':' || c == u'/') return false;
    }
    // No ".." component: it would leave the game folder.
    for (uint32_t start = 0; start < units;) {
        uint32_t end = start;
        while (end < units && name[end] != u'\\') ++end;
        if (end - start == 0) return false; // empty component: "a\\b" or trailing '\'
        if (end - start == 2 && name[start] == u'.' && name[start + 1] == u'.') return false;
        start = end + 1;
    }
    const char16_t* tail = name + units - 3;
    bool endsInTmp = (tail[0] | 0x20) == u't' && (tail[1] | 0x20) == u'm' && (tail[2] | 0x20) == u'p';
    return !endsInTmp;
}

bool ReadSet(ResourceReader& reader, ArchivePatchSet* set) {
    uint32_t nameLength = 0;
    if (!reader.ReadU32(&nameLength)) return false;
    if (nameLength < 2 || nameLength > kMaxManifestNameLength) return false;
    if (size_t(nameLength) * 2 > reader.Remaining()) return false;
    set->name = static_cast<char16_t*>(std::malloc(size_t(nameLength) * sizeof(char16_t)));
    if (!set->name) return false;
    set->nameLength = nameLength;
    for (uint32_t i = 0; i < nameLength; ++i) {
        unsigned char b[2];
        if (!reader.Read(b, 2)) return false;
        set->name[i] = char16_t(b[0] | b[1] << 8);
    }
    if (set->name[nameLength - 1] != 0) return false;
    if (!IsSafeRelativeName(set->name, nameLength - 1)) return false;

    uint32_t recordCount = 0;
    if (!reader.ReadU32(&recordCount)) return false;
    if (size_t(recordCount) > reader.Remaining() / kEntryPatchStoredSize) return false;
    if (recordCount) {
        set->records = static_cast<EntryPatch*>(std::malloc(size_t(recordCount) * sizeof(EntryPatch)));
        if (!set->records) return false;
    }
    set->recordCount = recordCount;
    for (uint32_t r = 0; r < recordCount; ++r) {
        EntryPatch& p = set->records[r];
        if (!reader.ReadU32(&p.entryIndex) || !reader.ReadU32(&p.sizeWord) ||
            !reader.ReadU32(&p.storedLength) || !reader.ReadU32(&p.payloadOffset))
            return false;
        p.data = nullptr;
    }
    return true;
}

} // namespace

bool ParsePatchManifest(const unsigned char* bytes, size_t size,
                        ArchivePatchSet** sets, uint32_t* count) {
    if (!bytes) return false;
    ResourceReader reader(bytes, size);
    uint32_t archiveCount = 0;
    if (!reader.ReadU32(&archiveCount)) return false;
    if (size_t(archiveCount) > reader.Remaining() / kMinBlockSize) return false;

    // calloc: every name and record pointer starts null, so a failure part-way frees cleanly.
    auto* table = static_cast<ArchivePatchSet*>(std::calloc(archiveCount ? archiveCount : 1,
                                                            sizeof(ArchivePatchSet)));
    if (!table) return false;
    for (uint32_t i = 0; i < archiveCount; ++i) {
        if (!ReadSet(reader, &table[i])) {
            FreePatchSets(table, archiveCount);
            return false;
        }
    }
    // The stored manifest ends right after its last record.
    if (reader.Remaining() != 0) {
        FreePatchSets(table, archiveCount);
        return false;
    }
    *sets = table;
    *count = archiveCount;
    return true;
}

void FreePatchSets(ArchivePatchSet* sets, uint32_t count) {
    if (!sets) return;
    for (uint32_t i = 0; i < count; ++i) {
        std::free(sets[i].name);
        std::free(sets[i].records);
    }
    std::free(sets);
}

bool ResolvePatchSet(ArchivePatchSet* set, const unsigned char* payload, size_t payloadSize) {
    for (uint32_t r = 0; r < set->recordCount; ++r) {
        const EntryPatch& p = set->records[r];
        if (p.storedLength == 0) continue;
        if (!payload || p.payloadOffset > payloadSize ||
            p.storedLength > payloadSize - p.payloadOffset)
            return false;
    }
    for (uint32_t r = 0; r < set->recordCount; ++r) {
        EntryPatch& p = set->records[r];
        p.data = payload ? payload + p.payloadOffset : nullptr;
    }
    return true;
}
