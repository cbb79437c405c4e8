// Order of the manifest and layout of the payload.
//
// Archives are sorted by name, with an optional chosen archive first. Within an archive the
// records whose size word has bit 30 set come first, then the others, each group by entry
// index. The payload holds the bit-30 records' data first, in manifest order, then the
// others' in manifest order, back to back: within an archive's block the offsets ascend in
// record order, and every payload byte belongs to exactly one record.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/ManifestWriter.h"
#include "tools/patchbuild/PatchDiff.h"

// One record's data in payload order: archive and record position in the manifest.
struct PayloadPiece {
    size_t archive = 0;
    size_t record = 0;
};

struct PatchPlan {
    std::vector<ManifestArchive> manifest; // payload offsets set
    std::vector<PayloadPiece> payloadOrder;
    uint64_t payloadSize = 0;
};

// Sorts the diffs into manifest order (and each diff's replaced entries into record order),
// so that manifest[i].records[r] describes diffs[i].replaced[r]. `first` (backslash form)
// names the archive to put first, or is empty. Fails when `first` names no archive of the
// diffs or the payload would not fit 32-bit offsets.
bool PlanPatch(std::vector<ArchiveDiff>* diffs, const std::string& first, PatchPlan* plan, std::string* error);

// Whether a manifest's payload is laid out as above for a payload of payloadSize bytes.
bool CheckPayloadLayout(const std::vector<ManifestArchive>& manifest, uint64_t payloadSize, std::string* why);
