// The game's archive format and the rewrite plan. Portable: no <windows.h>.
//
//   offset 0        8-byte header: bytes 0-5 opaque, bytes 6-7 entry count N (u16 LE)
//   offset 8        N x 80-byte entry records (ArcEntry)
//   8 + 80N         gap up to entry 0's data offset (zeros in a rewritten archive)
//   entry 0 offset  data region; a rewritten archive holds the entries back to back in
//                   table order and ends right after the last one
//
// ArcEntry: 68 opaque leading bytes, u32 stored length, u32 size word, u32 data offset.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/PatchManifest.h"

constexpr uint32_t kArcHeaderSize = 8;
constexpr uint32_t kArcEntrySize = 80;
constexpr uint32_t kArcEntryLeadSize = 68;
constexpr uint32_t kSizeWordReplacedBit = 0x40000000;
// Seeks are signed 32-bit distances from the start, so archives stay below 2 GiB.
constexpr uint64_t kMaxArchiveSize = 0x80000000ull;

uint32_t LoadU32(const unsigned char* p);
void StoreU32(unsigned char* p, uint32_t v);

uint16_t ArcEntryCount(const unsigned char* header);
uint32_t ArcTableSize(uint16_t entryCount);

// Field access on a table of 80-byte records.
uint32_t ArcStoredLength(const unsigned char* table, uint32_t i);
uint32_t ArcSizeWord(const unsigned char* table, uint32_t i);
uint32_t ArcDataOffset(const unsigned char* table, uint32_t i);
void SetArcStoredLength(unsigned char* table, uint32_t i, uint32_t v);
void SetArcSizeWord(unsigned char* table, uint32_t i, uint32_t v);
void SetArcDataOffset(unsigned char* table, uint32_t i, uint32_t v);

enum class ArchiveCheck {
    Ok,
    TooShortForHeader,     // file shorter than 8 bytes
    NoEntries,             // N = 0: there is no entry 0 to take the data offset from
    TableBeyondFile,       // 8 + 80N runs past the end of the file
    DataInsideTable,       // entry 0's data offset lies inside the header or table
    EntryBeyondFile,       // some entry's data runs past the end of the file
    RecordIndexOutOfRange, // a record names an entry index >= N
    DuplicateRecordIndex,  // two records name the same entry
    RecordWithoutData,     // a record with bytes to write has no resolved data
    LayoutTooLarge,        // the rewritten archive would reach 2 GiB
};

const char* ArchiveCheckName(ArchiveCheck check);

// Checks a header and entry table read from a file of fileSize bytes: a table that passes
// describes entries whose data all lies inside the file, so the file is a complete source
// for every entry. CheckArchiveHeader is the part that needs only the header (it tells
// how much table to read).
ArchiveCheck CheckArchiveHeader(const unsigned char* header, uint64_t fileSize);
ArchiveCheck CheckArchiveTable(const unsigned char* header, const unsigned char* table,
                               uint64_t fileSize);

// Checks the records against a table of entryCount entries before anything is written.
ArchiveCheck CheckPatchRecords(uint16_t entryCount, const EntryPatch* records,
                               uint32_t recordCount);

// Applies the records to the working table (stored length, size word | bit 30), then lays
// the data out back to back from entry 0's offset in table order. Fails with
// LayoutTooLarge, leaving the table unspecified, if the new archive would reach 2 GiB.
// *newSize receives the rewritten archive's size.
ArchiveCheck PlanArchiveRewrite(unsigned char* workingTable, uint16_t entryCount,
                                const EntryPatch* records, uint32_t recordCount,
                                uint32_t* newSize);

// The first record that names entry i, or null (linear search, as records are unsorted).
const EntryPatch* FindEntryPatch(const EntryPatch* records, uint32_t recordCount, uint32_t i);
