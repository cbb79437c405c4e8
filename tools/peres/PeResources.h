// Reads the resource tree and the imported DLL names of a PE file (32- or 64-bit) on the build
// machine, to check what a built Windows program carries and what it needs to load.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PeResource {
    uint32_t type;      // numeric type (10 = raw data, 24 = manifest, 5 = dialog, ...)
    uint32_t id;        // numeric name
    uint32_t language;  // LANGID
    std::vector<unsigned char> data;
};

struct PeImage {
    uint16_t machine = 0;  // 0x14C i386, 0x8664 x86-64
    bool gui = false;      // subsystem 2
    std::vector<PeResource> resources;  // named (non-numeric) entries are skipped
    std::vector<std::string> imports;   // DLL names of the import and delay-import tables
};

// Parses the file's bytes; false (with a reason) on anything that is not a well-formed PE.
bool ReadPeImage(const std::vector<unsigned char>& file, PeImage* image, std::string* error);

const PeResource* FindPeResource(const PeImage& image, uint32_t type, uint32_t id);

// True for the DLLs that every Windows installation has; a program or DLL that imports anything
// else (the mingw runtime's libgcc_s_dw2-1.dll, libstdc++-6.dll, ...) fails to load there.
bool IsSystemDll(const std::string& name);
