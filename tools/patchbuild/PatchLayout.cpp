#include "tools/patchbuild/PatchLayout.h"

#include <algorithm>

#include "core/ArchiveFormat.h"

namespace {

bool HasBit30(uint32_t sizeWord) { return (sizeWord & kSizeWordReplacedBit) != 0; }

// Record order within an archive: bit-30 records first, each group by entry index.
bool RecordBefore(const ReplacedEntry& a, const ReplacedEntry& b) {
    if (HasBit30(a.sizeWord) != HasBit30(b.sizeWord)) return HasBit30(a.sizeWord);
    return a.index < b.index;
}

} // namespace

bool PlanPatch(std::vector<ArchiveDiff>* diffs, const std::string& first, PatchPlan* plan, std::string* error) {
    std::stable_sort(diffs->begin(), diffs->end(),
                     [&](const ArchiveDiff& a, const ArchiveDiff& b) {
                         bool aFirst = a.name == first, bFirst = b.name == first;
                         if (aFirst != bFirst) return aFirst;
                         return a.name < b.name;
                     });
    if (!first.empty() && (diffs->empty() || diffs->front().name != first)) {
        *error = "the archive chosen to come first is not among the changed archives: " + first;
        return false;
    }

    plan->manifest.clear();
    plan->payloadOrder.clear();
    for (ArchiveDiff& d : *diffs) {
        std::sort(d.replaced.begin(), d.replaced.end(), RecordBefore);
        ManifestArchive archive;
        archive.name = WidenAscii(d.name);
        for (const ReplacedEntry& r : d.replaced)
            archive.records.push_back({r.index, r.sizeWord, r.storedLength, 0, nullptr});
        plan->manifest.push_back(std::move(archive));
    }

    uint64_t offset = 0;
    for (int pass = 0; pass < 2; ++pass) {
        bool bit30 = pass == 0;
        for (size_t a = 0; a < plan->manifest.size(); ++a) {
            for (size_t r = 0; r < plan->manifest[a].records.size(); ++r) {
                EntryPatch& record = plan->manifest[a].records[r];
                if (HasBit30(record.sizeWord) != bit30) continue;
                if (offset > UINT32_MAX) {
                    *error = "the payload would exceed 4 GiB; its offsets are 32-bit";
                    return false;
                }
                record.payloadOffset = static_cast<uint32_t>(offset);
                plan->payloadOrder.push_back({a, r});
                offset += record.storedLength;
            }
        }
    }
    if (offset > UINT32_MAX) {
        *error = "the payload would exceed 4 GiB; its offsets are 32-bit";
        return false;
    }
    plan->payloadSize = offset;
    return true;
}

bool CheckPayloadLayout(const std::vector<ManifestArchive>& manifest, uint64_t payloadSize, std::string* why) {
    for (const ManifestArchive& a : manifest) {
        for (size_t r = 1; r < a.records.size(); ++r) {
            if (a.records[r].payloadOffset < a.records[r - 1].payloadOffset) {
                *why = NarrowAscii(a.name) + ": payload offsets do not ascend in record order";
                return false;
            }
        }
    }
    // Walking the records in layout order must meet each offset exactly where the previous
    // record's data ended, and end at the payload's end.
    uint64_t cursor = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const ManifestArchive& a : manifest) {
            for (const EntryPatch& p : a.records) {
                if (HasBit30(p.sizeWord) != (pass == 0)) continue;
                if (p.payloadOffset != cursor) {
                    *why = NarrowAscii(a.name) + ": entry " + std::to_string(p.entryIndex) + ": payload offset " +
                           std::to_string(p.payloadOffset) + ", expected " + std::to_string(cursor) +
                           (pass == 0 ? " (bit-30 records come first, in manifest order)"
                                      : " (other records follow, in manifest order)");
                    return false;
                }
                cursor += p.storedLength;
            }
        }
    }
    if (cursor != payloadSize) {
        *why = "the records cover " + std::to_string(cursor) + " payload bytes, the payload has " +
               std::to_string(payloadSize);
        return false;
    }
    return true;
}
