// Build-time side of the manifest: serialises the table that ParsePatchManifest reads.
// Used by the tools and tests on the build machine, never by the installer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/PatchManifest.h"

struct ManifestArchive {
    std::u16string name;              // relative to the game folder, without the NUL
    std::vector<EntryPatch> records;  // data pointers are ignored
};

std::vector<unsigned char> SerializeManifest(const std::vector<ManifestArchive>& archives);

// UTF-8 <-> UTF-16 for the ASCII-and-backslash names the tools handle.
std::u16string WidenAscii(const std::string& s);
std::string NarrowAscii(const std::u16string& s);
