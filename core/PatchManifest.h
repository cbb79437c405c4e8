// The patch manifest: which archive entries get which replacement bytes.
// Portable: no <windows.h>. LoadPatch (core/LoadedPatch.h) parses it with the payload.
//
// Stored format, little-endian, no magic, ends right after the last record:
//   u32 archive count
//   per archive: u32 name length (UTF-16 units, NUL included), UTF-16LE name,
//                u32 record count, record count x 16-byte EntryPatch
#pragma once
#include <cstddef>
#include <cstdint>

// One replacement record. The first four fields are the 16 stored bytes; `data` is the
// record's replacement bytes once the run has resolved payloadOffset against the payload.
struct EntryPatch {
    uint32_t entryIndex;
    uint32_t sizeWord;      // stored into the entry with bit 30 forced on
    uint32_t storedLength;  // bytes of replacement data
    uint32_t payloadOffset; // from the start of the payload
    const unsigned char* data;
};

constexpr uint32_t kEntryPatchStoredSize = 16;

struct ArchiveFingerprint;

struct ArchivePatchSet {
    uint32_t nameLength;    // UTF-16 units including the terminating NUL
    char16_t* name;         // owned, NUL-terminated, relative to the game folder
    uint32_t recordCount;
    EntryPatch* records;    // owned
    // Set when the patch is loaded (core/LoadedPatch.h); false and null after parsing.
    bool resolved;                         // every record's data lies inside the payload
    const ArchiveFingerprint* fingerprint; // the release it was made for; null: not checked
};

// Longest name a manifest may carry, NUL included: a name must leave room for the game
// folder inside a 260-unit path.
constexpr uint32_t kMaxManifestNameLength = 200;

// Parses a stored manifest. Fails (returns false, *sets/*count untouched) on a manifest
// that is shorter or longer than its counts say, on absurd counts, on names that are not
// NUL-terminated, not relative, climb out of the game folder with "..", or end in "tmp"
// (the temporary name would then be the archive itself), and on a failed allocation.
bool ParsePatchManifest(const unsigned char* bytes, size_t size,
                        ArchivePatchSet** sets, uint32_t* count);

// Releases a table built by ParsePatchManifest (names, then records, then the array).
void FreePatchSets(ArchivePatchSet* sets, uint32_t count);

// Resolves a set's records against the payload: each record's data becomes
// payload + payloadOffset. Fails without resolving anything if any record's bytes do not
// lie inside the payload.
bool ResolvePatchSet(ArchivePatchSet* set, const unsigned char* payload, size_t payloadSize);
