// The in-place rewrite of one archive through a temporary copy beside it. README.md in this
// folder describes the protocol step by step; PatchArchive.cpp has one function per step.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/PatchManifest.h"

// What became of one archive. Every result but Patched leaves the files as the protocol
// promises; the installer turns it into a message for the user.
enum class ArchiveResult {
    Patched,        // the archive holds the rewritten data; its temporary copy is gone
    AlreadyPatched, // it held exactly what the rewrite would write, with nothing beside it:
                    // left as it was (never opened for writing)
    CannotOpen,    // File() could not be opened, copied, flushed, read or created
    Unrecognised,  // not an archive of the expected shape, or records that do not fit it
    ReadOnly,      // a read-only archive is never rewritten
    RewriteFailed, // stopped after the archive was truncated: the intact copy at tempPath
                   // completes it on the next run
    BothDamaged,   // the archive and a leftover temporary copy are both incomplete
    ForeignTemp,   // a file this installer did not make holds the temporary name; both are
                   // left as they are
};

struct ArchiveOutcome {
    ArchiveResult result = ArchiveResult::Patched;
    wchar_t path[MAX_PATH] = L"";     // the archive
    wchar_t tempPath[MAX_PATH] = L""; // its temporary copy (empty when none can be named)
    wchar_t stagingPath[MAX_PATH] = L""; // where the copy is made before it gets tempPath
    bool aboutTempPath = false;       // CannotOpen: the temporary copy is the file in question
    bool aboutStagingPath = false;    // CannotOpen: a staging leftover that cannot be deleted
    uint32_t patchedSize = 0;         // Patched, AlreadyPatched: the archive's size now, as the
                                      // rewrite planned it

    bool Patched() const { return result == ArchiveResult::Patched; }
    // Rewritten now or already: the archive holds what the patch gives it.
    bool InPatchedState() const { return Patched() || result == ArchiveResult::AlreadyPatched; }
    const wchar_t* File() const { return aboutStagingPath ? stagingPath : aboutTempPath ? tempPath : path; }
};

// Rewrites the archive at path (shorter than MAX_PATH) with the given resolved records, or
// leaves it as it is when it already holds what the rewrite would write.
ArchiveOutcome PatchArchive(const wchar_t* path, const EntryPatch* records, uint32_t recordCount);
