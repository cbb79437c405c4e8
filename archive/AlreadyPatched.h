// Before an archive is copied: does it already hold exactly what its rewrite would write?
// Such an archive is left as it is (core/PatchedState.h says when that holds).
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/PatchManifest.h"

// Whether the archive at path holds the bytes its rewrite with these records would give
// it; *size receives its size. Reads its header and table, the gap before its data and the
// replaced entries, through a read handle that shares reading, as the other reads do:
// nothing of the file is written, its time stamps included. False also when a read or an
// allocation fails: the rewrite then decides, and reports. Whether a temporary or staging
// file lies beside the archive is the caller's question, asked first.
bool ArchiveHoldsItsRewrite(const wchar_t* path, const EntryPatch* records, uint32_t recordCount, uint32_t* size);
