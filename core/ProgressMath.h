// Progress arithmetic of the patching run. Portable.
//
// Each archive's size is shifted to 256-byte units on its own and added (wrapping u32);
// the position is total / expected * 100.0, division first, truncated, not clamped at 100.
// The expected total comes with the patch (core/ProgressTotal.h); a patch without one is
// measured against the full-size patch's 18,077,230 units.
#pragma once
#include <cstdint>

constexpr uint32_t kProgressExpectedUnits = 18077230;

inline uint32_t AddArchiveUnits(uint32_t totalUnits, uint32_t archiveSize) {
    return totalUnits + (archiveSize >> 8);
}

inline int ProgressPosition(uint32_t totalUnits, uint32_t expectedUnits = kProgressExpectedUnits) {
    // A patch whose archives are all below 256 bytes has nothing to measure: it is done.
    if (expectedUnits == 0) return 100;
    double position = static_cast<double>(totalUnits) / static_cast<double>(expectedUnits) * 100.0;
    // Positions above 100 are sent as they are (the bar shows them full), within int.
    return position >= 2147483647.0 ? 2147483647 : static_cast<int>(position);
}
