// The in-place rewrite of one archive through a temporary copy beside it. See README.md in
// this folder for how an interrupted rewrite is completed by the next run.
#pragma once
#include <windows.h>

#include <cstdint>

#include "payload/PatchManifest.h"

// Rewrites the archive at path with the given (resolved) records. Returns 1 when the archive
// holds the rewritten data, 0 when it was skipped or failed; every failure has been shown to
// the user by then.
int PatchArchive(const wchar_t* path, const EntryPatch* records, uint32_t recordCount);

// Streams length bytes from offset of source to the destination's current position through a
// 256 KiB buffer. 0 when a seek, read, write or the allocation fails.
int CopyFileRange(HANDLE source, uint32_t offset, uint32_t length, HANDLE destination);

// Appends length copies of the fill byte through a 128 KiB buffer.
int WriteFill(HANDLE file, uint32_t length, unsigned char fill);

// The archive's path with its last three code units replaced by "tmp". 0 if it is shorter
// than three units or does not fit 260 units.
int MakeTempPath(const wchar_t* path, wchar_t* tempPath);

// Whether a file holds a complete archive: header and table read in full and every entry's
// data inside the file. Unreadable means it could not be opened or read for another reason
// than being absent (held by another program, an I/O error): nothing is decided from it.
enum class ArchiveState { Intact, Damaged, Missing, Unreadable };
ArchiveState InspectArchive(const wchar_t* path);
