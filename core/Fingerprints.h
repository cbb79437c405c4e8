// Archive fingerprints: which release of each archive a patch was made for.
// Portable: no <windows.h>. LoadPatch (core/LoadedPatch.h) parses it beside the manifest.
//
// The manifest replaces entries by index, so an archive of another release of the game
// would be silently corrupted. A fingerprint names what the rewrite never changes (the
// header, the entry count and every entry record's 68 leading bytes), so an original archive
// and one that is already patched give the same fingerprint. Two further hashes let a
// checker tell an original archive from a patched one without the original files at hand.
//
// Stored format, little-endian, ends right after the last archive:
//   4 bytes  magic "KSFP"
//   u32      format version (2; version 1 is still read)
//   u32      archive count
//   per archive:
//     u32    name length (UTF-16 units, NUL included), UTF-16LE name, as in the manifest
//     u32    entry count N
//     8      the archive's header as it is on disk (version 2 only)
//     u64    table hash:    FNV-1a 64 of the 68 leading bytes of entries 0..N-1
//     u64    kept hash:     content hash of the entries that no record names
//     u64    original hash: content hash of the original entries that records replace
// A content hash is FNV-1a 64 over, for each entry of the set in table order: u32 index,
// u32 stored length, u32 size word and u64 digest (FNV-1a 64 of the entry's stored bytes),
// all little-endian. The installer reads only the header, the entry count and the table
// hash. A version 1 table names no header, and then the header is not compared.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr unsigned char kFingerprintMagic[4] = {'K', 'S', 'F', 'P'};
constexpr uint32_t kFingerprintVersion = 2;
constexpr uint32_t kFingerprintVersionWithoutHeader = 1;
constexpr size_t kFingerprintHeaderSize = 8;

struct ArchiveFingerprint {
    uint32_t nameLength;   // UTF-16 units including the terminating NUL
    char16_t* name;        // owned, NUL-terminated, as the manifest names the archive
    uint32_t entryCount;
    uint64_t tableHash;
    uint64_t keptHash;
    uint64_t originalHash;
    bool hasHeader;        // false in a version 1 table
    unsigned char header[kFingerprintHeaderSize];
};

struct FingerprintTable {
    uint32_t count;
    ArchiveFingerprint* items; // owned
    uint32_t version;
};

// FNV-1a 64, continued from `hash` (start with kFnvOffsetBasis).
constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
uint64_t FnvAppend(uint64_t hash, const unsigned char* bytes, size_t count);
uint64_t FnvAppendU32(uint64_t hash, uint32_t value);

// Table hash of an entry table of entryCount 80-byte records.
uint64_t HashEntryLeads(const unsigned char* table, uint32_t entryCount);

// Whether a header and its entry table are those the fingerprint was taken from (the header
// is compared when the fingerprint names one). `table` must hold the header's entry count of
// records; it is not read when the header or the counts already differ.
bool MatchesFingerprint(const unsigned char* header, const unsigned char* table,
                        const ArchiveFingerprint& fingerprint);

// Whether the fingerprint names a header and it differs from this one.
bool FingerprintHeaderDiffers(const unsigned char* header, const ArchiveFingerprint& fingerprint);

// Parses a stored table into an empty *out. Fails (returns false, *out untouched) on a wrong magic or version,
// a table shorter or longer than its counts say, names that are not NUL-terminated or
// longer than a manifest name may be, and a failed allocation.
bool ParseFingerprints(const unsigned char* bytes, size_t size, FingerprintTable* out);

// Releases the names and the array; the table is empty afterwards.
void FreeFingerprintTable(FingerprintTable* table);

// The fingerprint stored for an archive name (exact match, NUL-terminated), or null.
const ArchiveFingerprint* FindFingerprint(const FingerprintTable& table, const char16_t* name);
