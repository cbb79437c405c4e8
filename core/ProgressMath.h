// Progress arithmetic of the patching run. Portable.
//
// Each archive's size is shifted to 256-byte units on its own and added (wrapping u32);
// the position is total / 18,077,230.0 * 100.0, division first, truncated, not clamped.
#pragma once
#include <cstdint>

constexpr uint32_t kProgressExpectedUnits = 18077230;

inline uint32_t AddArchiveUnits(uint32_t totalUnits, uint32_t archiveSize) {
    return totalUnits + (archiveSize >> 8);
}

inline int ProgressPosition(uint32_t totalUnits) {
    return static_cast<int>(static_cast<double>(totalUnits) / 18077230.0 * 100.0);
}
