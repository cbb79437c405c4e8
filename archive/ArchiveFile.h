// An archive on the disk: its temporary name, its header and table read from an open file,
// and whether a file holds a complete archive.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/ArchiveFormat.h"
#include "win/WinFile.h"

// The archive's path with its last three code units replaced by "tmp". False if it is
// shorter than three units or does not fit 260 units.
bool MakeTempPath(const wchar_t* path, wchar_t* tempPath /* MAX_PATH */);

// A header and the entry table it announces, read from a file.
struct ArchiveTable {
    unsigned char header[kArcHeaderSize] = {};
    HeapBuffer entries; // 80 x N bytes once read
    uint16_t EntryCount() const { return ArcEntryCount(header); }
};

enum class TableRead {
    Intact,       // header and table read in full; every entry's data lies inside the file
    NotIntact,    // the file is too short for its header, or the table fails the checks
    CouldNotRead, // a size query, a read or the table's allocation failed (GetLastError says
                  // why; ERROR_HANDLE_EOF: the file ended before the table did)
};

// Reads the header and table from the start of an open file and checks them against the
// file's size.
TableRead ReadArchiveTable(WinFile& file, ArchiveTable* table);

// Whether a file holds a complete archive. Unreadable means it could not be opened or read
// for another reason than being absent or too short (held by another program, an I/O
// error): nothing is decided from it.
enum class ArchiveState { Intact, Damaged, Missing, Unreadable };
ArchiveState InspectArchive(const wchar_t* path);
