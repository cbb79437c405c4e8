#include "payload/PatchIntegrity.h"

#include "core/PatchDigest.h"
#include "payload/Sha256.h"

bool PatchBytesMatchDigest(const PatchBytes& bytes, const unsigned char* digest, size_t digestSize) {
    PatchDigest expected{};
    if (!ParsePatchDigest(digest, digestSize, &expected)) return false;
    for (int i = 0; i < kPatchPartCount; ++i) {
        const PatchPart part = static_cast<PatchPart>(i);
        unsigned char hash[kSha256Size] = {};
        bool present = bytes[part].data != nullptr;
        if (present && !Sha256(bytes[part].data, bytes[part].size, hash)) return false;
        if (!PartMatchesDigest(expected, part, present, hash)) return false;
    }
    return true;
}
