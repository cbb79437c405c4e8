#include "core/LoadedPatch.h"

#include "core/ProgressTotal.h"

namespace {

bool LoadManifest(const PatchBytes& bytes, LoadedPatch* patch) {
    const PatchPartBytes& manifest = bytes[kPartManifest];
    if (!ParsePatchManifest(manifest.data, manifest.size, &patch->sets, &patch->setCount))
        return false;
    for (uint32_t i = 0; i < patch->setCount; ++i)
        if (patch->sets[i].nameLength - 1 > patch->longestNameUnits)
            patch->longestNameUnits = patch->sets[i].nameLength - 1;
    return true;
}

// A set whose records do not all lie inside the payload stays unresolved and is skipped by
// the run; the other sets are still patched.
bool ResolveAgainstPayload(const PatchBytes& bytes, LoadedPatch* patch) {
    const PatchPartBytes& payload = bytes[kPartPayload];
    if (patch->setCount && !payload.data) return false;
    // Resources are far below 4 GiB; a larger size cannot come from one.
    patch->payload = payload.data;
    patch->payloadSize = static_cast<uint32_t>(payload.size);
    for (uint32_t i = 0; i < patch->setCount; ++i) {
        ArchivePatchSet& set = patch->sets[i];
        set.resolved = ResolvePatchSet(&set, patch->payload, patch->payloadSize);
    }
    return true;
}

// Each archive's fingerprint travels with its patch set; a set without one is not checked.
bool AttachFingerprints(const PatchBytes& bytes, LoadedPatch* patch) {
    const PatchPartBytes& fingerprints = bytes[kPartFingerprints];
    if (!fingerprints.data) return true;
    if (!ParseFingerprints(fingerprints.data, fingerprints.size, &patch->fingerprints)) return false;
    for (uint32_t i = 0; i < patch->setCount; ++i)
        patch->sets[i].fingerprint = FindFingerprint(patch->fingerprints, patch->sets[i].name);
    return true;
}

bool ReadProgressTotal(const PatchBytes& bytes, LoadedPatch* patch) {
    const PatchPartBytes& total = bytes[kPartProgressTotal];
    if (!total.data) return true;
    if (!ParseProgressTotal(total.data, total.size, &patch->progressTotalUnits)) return false;
    patch->hasProgressTotal = true;
    return true;
}

} // namespace

PatchLoad LoadPatch(const PatchBytes& bytes, LoadedPatch* patch) {
    if (!LoadManifest(bytes, patch)) return PatchLoad::ManifestUnusable;
    if (!ResolveAgainstPayload(bytes, patch)) return PatchLoad::PayloadMissing;
    if (!AttachFingerprints(bytes, patch)) return PatchLoad::FingerprintsMalformed;
    if (!ReadProgressTotal(bytes, patch)) return PatchLoad::ProgressTotalMalformed;
    return PatchLoad::Loaded;
}

void FreeLoadedPatch(LoadedPatch* patch) {
    FreePatchSets(patch->sets, patch->setCount);
    FreeFingerprintTable(&patch->fingerprints);
    *patch = LoadedPatch{};
}
