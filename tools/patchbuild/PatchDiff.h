// Comparison of an original archive with its translated version, entry by entry: which
// entries the patch must replace, and whether the pair can be expressed as a patch at all.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/FingerprintWriter.h"
#include "core/PatchManifest.h"
#include "tools/patchbuild/ArchiveImage.h"

struct ReplacedEntry {
    uint32_t index = 0;
    uint32_t sizeWord = 0;     // the translated entry's word, stored in the record as it is
    uint32_t storedLength = 0; // the translated entry's length
    uint32_t dataOffset = 0;   // where its bytes lie in the translated archive
};

struct ArchiveDiff {
    std::string name;                  // backslash-separated, as the manifest names it
    std::filesystem::path translated;  // where the replacement bytes are read from
    std::vector<ReplacedEntry> replaced; // ascending index; PlanPatch puts them in record order
    FingerprintRecord fingerprint;     // of the original archive, for these replaced entries
    uint64_t patchedSize = 0;          // the archive's size after the rewrite
};

// An entry is replaced when its stored bytes or its size word differ. The patch can change
// nothing else, so a pair whose header, entry count or leading 68 bytes of any entry record
// differ is refused. Returns false and appends one line per problem to *problems, each
// naming the archive and, where it applies, the entry. `diff->name` and `diff->translated`
// are the caller's; the rest is filled in.
bool DiffArchive(ByteSource& original, ByteSource& translated, ArchiveDiff* diff,
                 std::vector<std::string>* problems, const ReadProgress& progress);

// Fingerprint of an archive for a set of replaced entries (digests read from the archive).
bool FingerprintArchive(ByteSource& archive, const ArchiveImage& image, const std::vector<bool>& replaced,
                        FingerprintRecord* record, const ReadProgress& progress);

// The size the installer's rewrite gives the archive with these records (what the run adds
// to its progress total). False when the records do not fit the table or the archive would
// reach 2 GiB.
bool PatchedArchiveSize(const ArchiveImage& original, const std::vector<EntryPatch>& records, uint32_t* newSize);
