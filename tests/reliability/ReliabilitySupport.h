// Helpers of the reliability tests: a patch table built in memory for a small game folder,
// a second process that holds a file open, and the small real file system of the disk-full
// tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/LoadedPatch.h"

// One archive of a small game: its name below the folder, its bytes, and its records.
struct MiniArchive {
    std::wstring name;
    Bytes bytes;
    std::vector<FixtureRecord> records;
};

// A loaded patch for the given archives (the records' data laid one after another in the
// payload, each set resolved against it) and g_gameDir at the folder; undone at destruction.
class MiniRun {
public:
    MiniRun(const std::wstring& folder, const std::vector<MiniArchive>& archives);
    ~MiniRun();
    MiniRun(const MiniRun&) = delete;
    MiniRun& operator=(const MiniRun&) = delete;
    const LoadedPatch& Patch() const { return m_patch; }

private:
    Bytes m_payload;
    LoadedPatch m_patch;
};

// Creates every folder on the way to a file.
bool MakeParentFolders(const std::wstring& path);

// A second process (this test program started again with --hold) that opens a file with the
// given share mode and keeps it open for holdMs milliseconds (or until Stop).
class FileHolder {
public:
    FileHolder(const std::wstring& path, DWORD shareMode, DWORD holdMs);
    ~FileHolder();
    bool Holding() const { return m_holding; }
    void Stop();

private:
    PROCESS_INFORMATION m_process{};
    bool m_holding = false;
};

// The body of the --hold child: returns its exit code.
int HoldFileMain(int argc, wchar_t** argv);

// The folder KSTR_SMALLFS names when it lies on a small file system of its own (a size-limited
// tmpfs the test fixture mounted); empty otherwise.
std::wstring SmallFileSystem();
// Free bytes on the volume that holds a folder.
uint64_t FreeBytes(const std::wstring& folder);
// Writes a filler file that leaves about `leave` bytes free on the folder's volume.
bool FillVolumeLeaving(const std::wstring& filler, uint64_t leave);
