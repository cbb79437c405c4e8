// The installer's embedded raw-data resources: the patch's parts (core/PatchParts.h), its
// digest and the companion program.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/LoadedPatch.h"

// Address and size of a raw-data resource of this executable; null when it is missing,
// empty, or cannot be loaded or locked. The bytes stay where the resource lies.
const unsigned char* GetPayloadData(int id, uint32_t* size);

// Writes a raw-data resource to folder + fileName (replacing a file of that name).
// 0 when the resource is not available, the path does not fit, or the file cannot be
// created or written in full (a partly written file is removed).
int ExtractResourceToFile(const wchar_t* folder, const wchar_t* fileName, int id);

// The resources that make up the patch, one id per part in the order of PatchPart (0: not
// looked up). A missing optional part is a build that carries none. The digest is checked
// when its id is given (every installer build embeds one; test programs with patches of their
// own may name none), and then a missing digest resource is damage too.
struct PatchResourceIds {
    int part[kPatchPartCount];
    int digest = 0;
};

// The installer's own: every part and the digest under the ids of core/PatchParts.h.
PatchResourceIds InstallerPatchResourceIds();

// Loads the patch from this executable's resources: first the check of every part against
// the digest (InstallerDamaged, nothing loaded), then LoadPatch on their bytes.
PatchLoad LoadEmbeddedPatch(const PatchResourceIds& ids, LoadedPatch* patch);
