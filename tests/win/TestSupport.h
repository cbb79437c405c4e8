// Helpers shared by the Win32 tests: files, scratch folders, recorded messages, fault plans.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/PatchArchive.h"
#include "win/IoFaults.h"
#include "core/LoadedPatch.h"

bool WriteWholeFile(const std::wstring& path, const Bytes& bytes);
// The temporary copy as the patcher leaves it: the archive's bytes and the mark after them.
Bytes MarkedCopy(const Bytes& archive);
bool ReadWholeFile(const std::wstring& path, Bytes* bytes);
bool Exists(const std::wstring& path);
// A file's last-write time as a 64-bit count (0 when it cannot be read), and setting it.
// kLongAgo (2019) is set before a run so that any write during it shows in the time.
constexpr uint64_t kLongAgo = 132000000000000000ull;
uint64_t LastWriteTime(const std::wstring& path);
bool SetLastWriteTime(const std::wstring& path, uint64_t time);

// Fixture records and the patcher's view of them (resolved against their own bytes).
struct FixturePatch {
    std::vector<FixtureRecord> records;
    std::vector<EntryPatch> entries;

    explicit FixturePatch(std::vector<FixtureRecord> r);
    // The patcher's outcome, reported as the installer reports it; 1 when the archive is in
    // its patched state (patched now or already).
    int Apply(const std::wstring& path) const;
    ArchiveOutcome Outcome(const std::wstring& path) const;
};
// Four records for TypicalArchive(): an entry that shrinks, one that grows, one of the same
// length, and a zero-length entry that gains data.
FixturePatch TypicalPatch();

// A fresh folder under the Windows temp folder, removed with its contents at destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::wstring& Path() const { return m_path; } // ends in a backslash
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

bool CopyTree(const std::wstring& from, const std::wstring& to);
bool RemoveTree(const std::wstring& path);
// Names of every file below a folder whose name ends in ".tmp".
std::vector<std::wstring> FindTempFiles(const std::wstring& folder);

// Records user messages instead of showing them, for the lifetime of the object.
struct RecordedMessage {
    std::wstring text, caption;
};
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    const std::vector<RecordedMessage>& Messages() const;
    void Clear();
};

// Makes the Nth operation of a kind fail (counted from 1), for the lifetime of the object.
class FaultPlan {
public:
    FaultPlan(IoOp op, int nth);
    ~FaultPlan();
    static int Count(IoOp op); // operations of that kind seen since the plan started
};

// The setting of the patcher's tests: a scratch folder with an archive's path, its temporary
// and staging names beside it, and the user's messages recorded.
class ArchiveInScratchTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder messages;
    std::wstring archive = dir / L"title.arc";
    std::wstring temp = dir / L"title.tmp";
    std::wstring staging = dir / L"title.tm~";

    // The file's bytes; a failed expectation when it cannot be read.
    Bytes Read(const std::wstring& path) {
        Bytes b;
        EXPECT_TRUE(ReadWholeFile(path, &b));
        return b;
    }
};

// A part's file in a patch folder (patchDir ends in a backslash), named as core/PatchParts.h
// names it.
std::wstring PatchPartPath(const std::wstring& patchDir, PatchPart part);

// A patch folder's manifest, payload and fingerprints, loaded as the installer
// loads its resources (LoadPatch); released at destruction. Without withFingerprints, or
// when the folder has none, the patch carries no fingerprints.
class PatchFiles {
public:
    explicit PatchFiles(const std::wstring& patchDir, bool withFingerprints = true);
    ~PatchFiles() { FreeLoadedPatch(&loaded); }
    PatchFiles(const PatchFiles&) = delete;
    PatchFiles& operator=(const PatchFiles&) = delete;
    // The set of the archive with this name (as the manifest spells it), or -1.
    int IndexOf(const std::wstring& name) const;

    Bytes manifest, payload, fingerprints;
    PatchLoad load;
    LoadedPatch loaded;
};

std::string Narrow(const std::wstring& s);

// The folder an environment variable names, ending in a backslash; empty if it is not set.
std::wstring FolderFromEnvironment(const wchar_t* name);
