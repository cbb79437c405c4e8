// The patching run: every archive of the manifest, in order, with progress updates.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/LoadedPatch.h"

struct PatchRunResult {
    uint32_t archiveCount;  // archives in the manifest
    uint32_t failedCount;   // archives that were not patched (each was reported)
    bool payloadMissing;    // the run did not start: no payload for a non-empty manifest
    uint32_t alreadyPatchedCount; // archives found in their patched state and left as they were
                                  // (they count as patched: not in failedCount)
};

// Patches every archive of the loaded patch into g_gameDir. failedFlags, if given, has room
// for patch.setCount bytes and receives 1 for every archive that was not patched (an archive
// already in its patched state counts as patched).
PatchRunResult PatchAllArchives(const LoadedPatch& patch, unsigned char* failedFlags);

// Low 32 bits of the file's size; 0 when it cannot be opened.
uint32_t GetFileSizeByName(const wchar_t* path);
