// An archive on the disk: its temporary name, its header and table read from an open file,
// and whether a file holds a complete archive.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/ArchiveFormat.h"
#include "win/HeapBuffer.h"
#include "win/WinFile.h"

// The archive's path with its last three code units replaced by "tmp". False if it is
// shorter than three units or does not fit 260 units.
bool MakeTempPath(const wchar_t* path, wchar_t* tempPath /* MAX_PATH */);
// The name the copy is made under before it is complete on the disk: the last three code
// units replaced by "tm~" (the manifest holds no name that ends so). Same bounds.
bool MakeStagingPath(const wchar_t* path, wchar_t* stagingPath /* MAX_PATH */);

// The mark appended to a finished copy before it is flushed and renamed to the temporary
// name: "KSTRcopy" and the size of the copy without the mark (u64 LE). The mark is never
// archive data: every check and read of a marked file stops where the mark begins, so an
// archive shorter than its table says cannot borrow the mark's bytes.
constexpr uint32_t kCopyMarkSize = 16;
void MakeCopyMark(uint64_t copiedSize, unsigned char* mark /* kCopyMarkSize */);
// True only for a mark that records exactly the bytes before it (fileSize - kCopyMarkSize).
bool IsCopyMark(const unsigned char* tail /* kCopyMarkSize */, uint64_t fileSize);

// The part of an open file that can hold archive data: the whole file, or all but the mark
// of a file that ends in one (*marked). A file opened at its start is left there. False
// when its size or its tail cannot be read.
bool ReadArchiveDataSize(WinFile& file, uint64_t* dataSize, bool* marked);

// What a file under the temporary name is. Complete: this installer's marked copy, intact
// within the size its mark records, renamed there only after it was on the disk.
// NotComplete: anything else (an older installer's copy, which may have been cut short or
// zero-filled by a power cut; a marked copy of an archive that was already short; a file
// the installer did not make). Unreadable: held by another program or an I/O error.
enum class TempCopyState { Complete, NotComplete, Unreadable };
TempCopyState InspectTempCopy(const wchar_t* tempPath);

// Whether a file under the temporary name that is no complete copy is a copy of an archive
// or what is left of one, beside the intact archive at archivePath: empty, zeros in its
// first 512 bytes, the archive's own header, or an intact archive itself. Anything else is a
// file this installer did not make. False also when either cannot be read.
bool IsLeftoverCopy(const wchar_t* tempPath, const wchar_t* archivePath);

// A header and the entry table it announces, read from a file.
struct ArchiveTable {
    unsigned char header[kArcHeaderSize] = {};
    HeapBuffer entries;    // 80 x N bytes once read
    uint64_t dataSize = 0; // the bytes the table was checked against (the file without its mark)
    bool marked = false;   // the file ends in a copy mark
    uint16_t EntryCount() const { return ArcEntryCount(header); }
};

enum class TableRead {
    Intact,       // header and table read in full; every entry's data lies inside the
                  // file, before its mark if it has one
    NotIntact,    // the file is too short for its header, or the table fails the checks
    CouldNotRead, // a size query, a read or the table's allocation failed (GetLastError says
                  // why; ERROR_HANDLE_EOF: the file ended before the table did)
};

// Reads the header and table from the start of an open file and checks them against the
// file's data size (ReadArchiveDataSize).
TableRead ReadArchiveTable(WinFile& file, ArchiveTable* table);
// The same against the whole file, a tail that looks like a mark included: what a rewrite
// from a copy of this file would take as its data.
TableRead ReadWholeArchiveTable(WinFile& file, ArchiveTable* table);

// Whether a file holds a complete archive. Unreadable means it could not be opened or read
// for another reason than being absent or too short (held by another program, an I/O
// error): nothing is decided from it.
enum class ArchiveState { Intact, Damaged, Missing, Unreadable };
ArchiveState InspectArchive(const wchar_t* path);
