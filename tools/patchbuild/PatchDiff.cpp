#include "tools/patchbuild/PatchDiff.h"

#include <algorithm>
#include <cstring>

#include "core/ArchiveFormat.h"
#include "core/Fingerprints.h"

namespace {

// More than this many entries with changed records in one archive are summarised.
constexpr size_t kMaxEntryProblems = 10;

bool CheckStructure(const ArchiveImage& original, const ArchiveImage& translated,
                    const std::string& name, std::vector<std::string>* problems) {
    bool ok = true;
    if (std::memcmp(original.header, translated.header, 6) != 0) {
        problems->push_back(name + ": the header (bytes 0-5) differs from the original's; "
                                   "a patch cannot change the header");
        ok = false;
    }
    uint32_t n = original.EntryCount(), m = translated.EntryCount();
    if (n != m) {
        problems->push_back(name + ": the original has " + std::to_string(n) + " entries, the translation " +
                            std::to_string(m) + "; a patch can only replace entries, not add or remove them");
        return false;
    }
    size_t changed = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (std::memcmp(original.Lead(i), translated.Lead(i), kArcEntryLeadSize) == 0) continue;
        if (++changed <= kMaxEntryProblems)
            problems->push_back(name + ": entry " + std::to_string(i) +
                                ": the leading 68 bytes of its entry record differ from the original's; "
                                "a patch can only change an entry's data and size word");
    }
    if (changed > kMaxEntryProblems)
        problems->push_back(name + ": ... and " + std::to_string(changed - kMaxEntryProblems) +
                            " more entries whose records differ");
    return ok && changed == 0;
}

void FingerprintFromDigests(const ArchiveImage& image, const std::vector<uint64_t>& digests,
                            const std::vector<bool>& replaced, FingerprintRecord* record) {
    uint32_t n = image.EntryCount();
    std::vector<bool> kept(n);
    for (uint32_t i = 0; i < n; ++i) kept[i] = !replaced[i];
    record->entryCount = n;
    std::copy(image.header, image.header + kArcHeaderSize, record->header.begin());
    record->tableHash = HashEntryLeads(image.table.data(), n);
    record->keptHash = FoldContentHash(image, digests, kept);
    record->originalHash = FoldContentHash(image, digests, replaced);
}

} // namespace

bool FingerprintArchive(ByteSource& archive, const ArchiveImage& image, const std::vector<bool>& replaced,
                        FingerprintRecord* record, const ReadProgress& progress) {
    uint32_t n = image.EntryCount();
    std::vector<uint64_t> digests(n);
    for (uint32_t i = 0; i < n; ++i)
        if (!DigestEntry(archive, image.DataOffset(i), image.StoredLength(i), &digests[i], progress)) return false;
    FingerprintFromDigests(image, digests, replaced, record);
    return true;
}

bool PatchedArchiveSize(const ArchiveImage& original, const std::vector<EntryPatch>& records, uint32_t* newSize) {
    uint16_t n = original.EntryCount();
    if (n == 0 || original.table.size() < ArcTableSize(n)) return false;
    for (const EntryPatch& r : records)
        if (r.entryIndex >= n) return false;
    // The rewrite the installer will do, on a copy of the original table.
    std::vector<unsigned char> table = original.table;
    return PlanArchiveRewrite(table.data(), n, records.data(), uint32_t(records.size()), newSize) == ArchiveCheck::Ok;
}

bool DiffArchive(ByteSource& original, ByteSource& translated, ArchiveDiff* diff,
                 std::vector<std::string>* problems, const ReadProgress& progress) {
    const std::string& name = diff->name;
    ArchiveImage a, b;
    std::string why;
    if (!ReadArchiveImage(original, &a, &why)) {
        problems->push_back(name + ": the original is not a readable archive: " + why);
        return false;
    }
    if (!ReadArchiveImage(translated, &b, &why)) {
        problems->push_back(name + ": the translated file is not a readable archive: " + why);
        return false;
    }
    if (!CheckStructure(a, b, name, problems)) return false;

    uint32_t n = a.EntryCount();
    std::vector<uint64_t> digests(n);
    std::vector<bool> replaced(n, false);
    diff->replaced.clear();
    for (uint32_t i = 0; i < n; ++i) {
        bool sameBytes = false;
        bool read = a.StoredLength(i) == b.StoredLength(i)
                        ? DigestAndCompare(original, a.DataOffset(i), translated, b.DataOffset(i),
                                           a.StoredLength(i), &digests[i], &sameBytes, progress)
                        : DigestEntry(original, a.DataOffset(i), a.StoredLength(i), &digests[i], progress);
        if (!read) {
            problems->push_back(name + ": entry " + std::to_string(i) + ": read error");
            return false;
        }
        if (sameBytes && a.SizeWord(i) == b.SizeWord(i)) continue;
        replaced[i] = true;
        diff->replaced.push_back({i, b.SizeWord(i), b.StoredLength(i), b.DataOffset(i)});
    }

    FingerprintFromDigests(a, digests, replaced, &diff->fingerprint);

    std::vector<EntryPatch> records;
    for (const ReplacedEntry& r : diff->replaced)
        records.push_back({r.index, r.sizeWord, r.storedLength, 0, nullptr});
    uint32_t newSize = 0;
    if (!PatchedArchiveSize(a, records, &newSize)) {
        problems->push_back(name + ": the patched archive would reach 2 GiB; archives must stay below that");
        return false;
    }
    diff->patchedSize = newSize;
    return true;
}
