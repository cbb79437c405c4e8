// The progress total a patch carries: what the patching run's running total reaches once
// every archive of the patch is rewritten (each patched archive's size >> 8, added as the run
// adds them). The run measures its progress against it, so any patch's bar ends at 100.
// Portable: no <windows.h>.
//
// Stored format (12 bytes, little-endian): 4 bytes magic "KSPT", u32 format version (1),
// u32 total in 256-byte units.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr unsigned char kProgressTotalMagic[4] = {'K', 'S', 'P', 'T'};
constexpr uint32_t kProgressTotalVersion = 1;
constexpr size_t kProgressTotalSize = 12;

// False (and *units untouched) unless the bytes are exactly a stored total.
bool ParseProgressTotal(const unsigned char* bytes, size_t size, uint32_t* units);

// The stored form of a total.
void StoreProgressTotal(uint32_t units, unsigned char (&out)[kProgressTotalSize]);
