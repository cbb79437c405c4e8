// Whether an archive already holds what its rewrite would write. Portable.
//
// With no temporary or staging file beside it, an archive's rewrite is planned from its own
// header and table, writes the header as read, the planned table, a zero gap, the records'
// data, and copies every other entry from where it lies to the same place. It therefore
// gives back the file's own bytes exactly when all of this holds:
//   * the planned table equals the table read (every stored length, size word and data
//     offset as the rewrite would set them) and the file ends where the plan ends;
//   * the bytes between the table and entry 0's data are all zero;
//   * every replaced entry's bytes at its offset are its record's data.
// The first needs only the header and table; the others read the gap and the replaced
// entries, nothing else (unchanged entries would be copied onto themselves).
#pragma once
#include <cstdint>

#include "core/PatchManifest.h"

// For a header and table read from the start of a file of fileSize bytes: whether the
// rewrite with these records keeps the header, the table and the file's size as they are.
// False also for a table or records the rewrite refuses (the rewrite then reports them).
// plannedTable has room for the table (ArcTableSize) and receives the plan.
bool RewriteKeepsTable(const unsigned char* header, const unsigned char* table, uint64_t fileSize,
                       const EntryPatch* records, uint32_t recordCount, unsigned char* plannedTable);

// Reads count bytes at offset of the archive into buffer; false if they cannot all be read.
using ArchiveReadAtFn = bool (*)(void* context, uint32_t offset, unsigned char* buffer, uint32_t count);

struct ArchiveReadAt {
    ArchiveReadAtFn read;
    void* context;
};

enum class RewrittenBytes { Same, Differ, ReadFailed };

// For a table the rewrite keeps (RewriteKeepsTable): whether the bytes the rewrite writes
// anew are already there, the gap's zeros and each replaced entry's data. Reads only those,
// in table order (ascending offsets), in pieces of up to bufferSize (> 0) bytes, and stops
// at the first difference.
RewrittenBytes CompareRewrittenBytes(const unsigned char* table, uint16_t entryCount, const EntryPatch* records,
                                     uint32_t recordCount, unsigned char* buffer, uint32_t bufferSize,
                                     const ArchiveReadAt& io);
