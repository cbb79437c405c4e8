#include "payload/PatchIntegrity.h"

#include "payload/Sha256.h"

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

bool PatchBytesMatchDigest(const PatchBytes& bytes, const unsigned char* digest, size_t digestSize) {
    const PatchPartBytes parts[kPatchPartCount] = {{bytes.manifest, bytes.manifestSize},
                                                   {bytes.payload, bytes.payloadSize},
                                                   {bytes.fingerprints, bytes.fingerprintsSize},
                                                   {bytes.progressTotal, bytes.progressTotalSize}};
    return PatchPartsMatchDigest(parts, digest, digestSize);
}
