// The installer's embedded raw-data resources: payload, manifest and companion program.
#pragma once
#include <windows.h>

#include <cstdint>

// Address and size of a raw-data resource of this executable; null when it is missing,
// empty, or cannot be loaded or locked. The bytes stay where the resource lies.
const unsigned char* GetPayloadData(int id, uint32_t* size);

// Writes a raw-data resource to folder + fileName (replacing a file of that name).
// 0 when the resource is not available, the path does not fit, or the file cannot be
// created or written in full (a partly written file is removed).
int ExtractResourceToFile(const wchar_t* folder, const wchar_t* fileName, int id);

// Parses the manifest resource into g_patchSets / g_patchSetCount. 0 when the resource is
// not available or is not a well-formed manifest (the table is then left as it was).
int LoadPatchManifest(int id);

// Releases the table; g_patchSets becomes null, then g_patchSetCount 0 (which ends the
// progress thread's loop).
void FreePatchManifest();
