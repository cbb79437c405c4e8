#include "core/PatchedState.h"

#include <cstring>

#include "core/ArchiveFormat.h"

namespace {

// Whether length bytes at offset equal expected (null: zeros), read piece by piece.
RewrittenBytes CompareRange(uint32_t offset, uint32_t length, const unsigned char* expected, unsigned char* buffer,
                            uint32_t bufferSize, const ArchiveReadAt& io) {
    while (length) {
        const uint32_t piece = length < bufferSize ? length : bufferSize;
        if (!io.read(io.context, offset, buffer, piece)) return RewrittenBytes::ReadFailed;
        if (expected) {
            if (std::memcmp(buffer, expected, piece) != 0) return RewrittenBytes::Differ;
            expected += piece;
        } else {
            for (uint32_t i = 0; i < piece; ++i)
                if (buffer[i]) return RewrittenBytes::Differ;
        }
        offset += piece;
        length -= piece;
    }
    return RewrittenBytes::Same;
}

} // namespace

bool RewriteKeepsTable(const unsigned char* header, const unsigned char* table, uint64_t fileSize,
                       const EntryPatch* records, uint32_t recordCount, unsigned char* plannedTable) {
    if (CheckArchiveTable(header, table, fileSize) != ArchiveCheck::Ok) return false;
    const uint16_t entryCount = ArcEntryCount(header);
    if (CheckPatchRecords(entryCount, records, recordCount) != ArchiveCheck::Ok) return false;
    // The header is written back as read; the table is what the plan makes of it.
    const uint32_t tableSize = ArcTableSize(entryCount);
    std::memcpy(plannedTable, table, tableSize);
    uint32_t plannedSize = 0;
    if (PlanArchiveRewrite(plannedTable, entryCount, records, recordCount, &plannedSize) != ArchiveCheck::Ok)
        return false;
    return plannedSize == fileSize && std::memcmp(plannedTable, table, tableSize) == 0;
}

RewrittenBytes CompareRewrittenBytes(const unsigned char* table, uint16_t entryCount, const EntryPatch* records,
                                     uint32_t recordCount, unsigned char* buffer, uint32_t bufferSize,
                                     const ArchiveReadAt& io) {
    const uint32_t gapStart = kArcHeaderSize + ArcTableSize(entryCount);
    RewrittenBytes same = CompareRange(gapStart, ArcDataOffset(table, 0) - gapStart, nullptr, buffer, bufferSize, io);
    for (uint32_t i = 0; i < entryCount && same == RewrittenBytes::Same; ++i) {
        const EntryPatch* patch = FindEntryPatch(records, recordCount, i);
        if (patch)
            same = CompareRange(ArcDataOffset(table, i), patch->storedLength, patch->data, buffer, bufferSize, io);
    }
    return same;
}
