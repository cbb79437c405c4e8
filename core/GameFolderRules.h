// Rules that decide whether a chosen folder can take the patch. Portable.
#pragma once
#include <cstddef>
#include <cstdint>

// Free bytes the game's volume must offer (the message speaks of 140MB).
constexpr uint64_t kMinFreeBytes = 144000000;

// Names appended to the game folder before and during the run, without their NUL.
constexpr size_t kMarkerNameUnits = 30;    // nativePC\rom\demo\m01_100s.arc
constexpr size_t kCompanionNameUnits = 15; // KSTRLangSet.exe

inline bool HasEnoughFreeSpace(uint64_t freeBytes) { return freeBytes >= kMinFreeBytes; }

// True when the folder (its length in UTF-16 units, trailing backslash included) leaves room
// in a 260-unit path for every name that will be appended to it: the marker, the companion
// program and the longest archive name of the manifest. A temporary file's path is as long
// as its archive's.
inline bool GameFolderPathFits(size_t folderUnits, size_t longestArchiveNameUnits,
                               size_t pathUnits = 260) {
    size_t longest = kMarkerNameUnits;
    if (kCompanionNameUnits > longest) longest = kCompanionNameUnits;
    if (longestArchiveNameUnits > longest) longest = longestArchiveNameUnits;
    return folderUnits + longest < pathUnits;
}
