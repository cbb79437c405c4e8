#include "payload/PatchIntegrity.h"

#include "payload/Resources.h"
#include "payload/Sha256.h"
#include "setup/resource.h"

bool PatchPartsMatchDigest(const PatchPartBytes (&parts)[kPatchPartCount], const unsigned char* digest,
                           size_t digestSize) {
    PatchDigest expected{};
    if (!ParsePatchDigest(digest, digestSize, &expected)) return false;
    for (int part = 0; part < kPatchPartCount; ++part) {
        unsigned char hash[kSha256Size] = {};
        bool present = parts[part].data != nullptr;
        if (present && !Sha256(parts[part].data, parts[part].size, hash)) return false;
        if (!PartMatchesDigest(expected, static_cast<PatchPart>(part), present, hash)) return false;
    }
    return true;
}

bool EmbeddedPatchIsIntact() {
    static const int kIds[kPatchPartCount] = {IDR_MANIFEST, IDR_PAYLOAD, IDR_FINGERPRINTS, IDR_PROGRESS_TOTAL};
    PatchPartBytes parts[kPatchPartCount];
    for (int part = 0; part < kPatchPartCount; ++part) {
        uint32_t size = 0;
        parts[part].data = GetPayloadData(kIds[part], &size);
        parts[part].size = size;
    }
    uint32_t digestSize = 0;
    const unsigned char* digest = GetPayloadData(IDR_PATCH_DIGEST, &digestSize);
    return digest && PatchPartsMatchDigest(parts, digest, digestSize);
}
