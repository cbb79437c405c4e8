// Before an archive is rewritten: is it the release the patch was made for? The patch
// replaces entries by index, so an archive of another release would be corrupted without
// a word. Compares the archive's entry count and records with its fingerprint
// (core/Fingerprints.h); reads only the header and the entry table.
#pragma once
#include <windows.h>

#include "core/Fingerprints.h"

enum class FingerprintVerdict {
    Matches,
    Differs,
    Unreadable, // missing, too short for its table (a copy's mark is no part of it), or
                // cannot be read right now
};

FingerprintVerdict CompareArchiveFingerprint(const wchar_t* path, const ArchiveFingerprint& fingerprint);

// Whether the archive at `path` may be rewritten: true when it has no fingerprint (null) or
// matches it. An archive that cannot be read is judged by the temporary copy that an
// interrupted rewrite left beside it; if neither can be read, the patcher's own checks
// decide (and report). False only for an archive that was read and does not match.
bool ArchiveMayBeRewritten(const wchar_t* path, const ArchiveFingerprint* fingerprint);
