// Handle and heap leaks of the Win32 patcher: the whole 411-archive game folder patched, and
// every failure path of a rewrite taken, with the process's handle count and the bytes in
// use on all its heaps compared before and after. One leaked handle or table per archive
// would show as hundreds.
#include <gtest/gtest.h>

#include <cstdio>

#include "ReliabilitySupport.h"
#include "core/ArchiveFormat.h"
#include "archive/FingerprintCheck.h"
#include "archive/PatchArchive.h"
#include "setup/ArchiveReport.h"
#include "core/Fingerprints.h"
#include "core/LoadedPatch.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"

namespace {

struct Usage {
    DWORD handles = 0;
    uint64_t heapBytes = 0;
    uint64_t heapBlocks = 0;
};

// Open handles of this process. Wine answers GetProcessHandleCount with 0, so there they are
// counted by asking every handle value of the table's first 64 Ki slots.
DWORD CountHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return count;
    DWORD flags = 0;
    for (uintptr_t h = 4; h < 0x40000; h += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags) != 0;
    return count;
}

Usage Measure() {
    Usage u;
    u.handles = CountHandles();
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD h = 0; h < count && h < 64; ++h) {
        if (!HeapLock(heaps[h])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[h], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                u.heapBytes += entry.cbData;
                ++u.heapBlocks;
            }
        }
        HeapUnlock(heaps[h]);
    }
    return u;
}

// Growth allowed for the heap: the runtime's own caches may move by a few blocks; a leak in
// the patcher repeats for every archive or every failure and is far larger.
constexpr uint64_t kHeapSlack = 4096;

void ExpectNoGrowth(const Usage& before, const Usage& after, const char* what) {
    std::printf("%s: handles %lu -> %lu, heap %llu -> %llu bytes in %llu -> %llu blocks\n", what,
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                static_cast<unsigned long long>(before.heapBytes), static_cast<unsigned long long>(after.heapBytes),
                static_cast<unsigned long long>(before.heapBlocks), static_cast<unsigned long long>(after.heapBlocks));
    EXPECT_GT(before.handles, 0u) << "the handle count is not available";
    EXPECT_GT(before.heapBlocks, 0u) << "the heaps cannot be walked";
    EXPECT_LE(after.handles, before.handles) << what << ": handles leaked";
    EXPECT_LE(after.heapBytes, before.heapBytes + kHeapSlack) << what << ": heap memory leaked";
}


// A stored fingerprint table for archives (name below the folder, entry count and table hash
// read from the file; the entry count is changed by `countDelta` to make it another release).
Bytes FingerprintBytes(const std::wstring& folder, const std::vector<std::wstring>& names, int countDelta = 0) {
    Bytes out = {'K', 'S', 'F', 'P'};
    AppendU32(out, 1);
    AppendU32(out, static_cast<uint32_t>(names.size()));
    for (const auto& name : names) {
        Bytes archive;
        ReadWholeFile(folder + name, &archive);
        uint16_t n = archive.size() >= 8 ? ArcEntryCount(archive.data()) : 0;
        uint64_t hash = archive.size() >= 8 + ArcTableSize(n) ? HashEntryLeads(archive.data() + 8, n) : 0;
        AppendU32(out, static_cast<uint32_t>(name.size() + 1));
        for (wchar_t c : name) out.push_back(static_cast<unsigned char>(c)), out.push_back(static_cast<unsigned char>(c >> 8));
        out.push_back(0), out.push_back(0);
        AppendU32(out, n + countDelta);
        AppendU32(out, static_cast<uint32_t>(hash)), AppendU32(out, static_cast<uint32_t>(hash >> 32));
        for (int i = 0; i < 4; ++i) AppendU32(out, 0);
    }
    return out;
}

// A fingerprint table parsed as the installer parses its resource, for the lifetime of the
// object.
struct ParsedFingerprints {
    FingerprintTable table{};
    explicit ParsedFingerprints(const Bytes& bytes) { ParseFingerprints(bytes.data(), bytes.size(), &table); }
    ~ParsedFingerprints() { FreeFingerprintTable(&table); }
    const ArchiveFingerprint* Find(const char16_t* name) const { return FindFingerprint(table, name); }
};

std::wstring GameData() { return FolderFromEnvironment(L"KSTR_GAMEDATA"); }

TEST(Leaks, PatchingTheWholeGameFolderKeepsHandlesAndHeapFlat) {
    const std::wstring data = GameData();
    ASSERT_FALSE(data.empty()) << "KSTR_GAMEDATA is not set";
    ScratchDir scratch;
    ASSERT_TRUE(CopyTree(data + L"game", scratch.Path() + L"game"));
    const std::wstring game = scratch.Path() + L"game\\";
    lstrcpynW(g_gameDir, game.c_str(), kPathUnits);
    MessageRecorder messages;
    // Every archive is checked against its fingerprint first, as in the installer: the
    // fingerprints of the folder's archives, named as the manifest names them.
    std::vector<std::wstring> names;
    {
        PatchFiles unchecked(data + L"patch\\", false);
        ASSERT_EQ(unchecked.loaded.setCount, 411u);
        for (uint32_t i = 0; i < unchecked.loaded.setCount; ++i)
            names.push_back(reinterpret_cast<const wchar_t*>(unchecked.loaded.sets[i].name));
    }
    Bytes manifest, payload;
    ASSERT_TRUE(ReadWholeFile(PatchPartPath(data + L"patch\\", kPartManifest), &manifest));
    ASSERT_TRUE(ReadWholeFile(PatchPartPath(data + L"patch\\", kPartPayload), &payload));
    const Bytes fingerprints = FingerprintBytes(game, names);
    PatchBytes bytes;
    bytes[kPartManifest] = {manifest.data(), manifest.size()};
    bytes[kPartPayload] = {payload.data(), payload.size()};
    bytes[kPartFingerprints] = {fingerprints.data(), fingerprints.size()};
    LoadedPatch patch;
    ASSERT_EQ(LoadPatch(bytes, &patch), PatchLoad::Loaded);

    // A run over the first few archives warms the runtime up; then all 411 are patched.
    LoadedPatch firstFew = patch;
    firstFew.setCount = 3;
    PatchRunResult first = PatchAllArchives(firstFew, nullptr);
    ASSERT_EQ(first.failedCount, 0u);
    const Usage before = Measure();
    PatchRunResult second = PatchAllArchives(patch, nullptr);
    const Usage after = Measure();
    EXPECT_EQ(second.failedCount, 0u);
    EXPECT_TRUE(messages.Messages().empty());
    ExpectNoGrowth(before, after, "411 archives");
    FreeLoadedPatch(&patch);
}

// Every operation of a rewrite failing in turn, and of the look at an archive already
// patched, a hostile archive, and a recovery: the paths that return early are where handles
// and tables are forgotten.
TEST(Leaks, EveryFailurePathReleasesWhatItTook) {
    ScratchDir dir;
    const std::wstring archive = dir / L"title.arc";
    const std::wstring temp = dir / L"title.tmp";
    const FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    const Bytes data1 = Pattern(5000, 1), data2 = Pattern(70, 2);
    const EntryPatch records[] = {{1, 0x10, 5000, 0, data1.data()}, {4, 0x20, 70, 0, data2.data()}};
    MessageRecorder messages;

    const IoOp kinds[] = {IoOp::Copy, IoOp::Open, IoOp::Create, IoOp::Read, IoOp::Write,
                          IoOp::Seek, IoOp::Flush, IoOp::Delete, IoOp::Alloc, IoOp::Rename};
    int counts[10] = {};
    {
        ASSERT_TRUE(WriteWholeFile(archive, original));
        FaultPlan count(IoOp::Copy, -1);
        ASSERT_TRUE(PatchArchive(archive.c_str(), records, 2).Patched());
        for (IoOp op : kinds) counts[static_cast<int>(op)] = FaultPlan::Count(op);
    }
    // The operations of the look at an archive already patched (left as it is).
    int lookCounts[10] = {};
    {
        FaultPlan count(IoOp::Copy, -1);
        ASSERT_EQ(PatchArchive(archive.c_str(), records, 2).result, ArchiveResult::AlreadyPatched);
        for (IoOp op : kinds) lookCounts[static_cast<int>(op)] = FaultPlan::Count(op);
    }
    auto oneRound = [&] {
        int failures = 0;
        for (IoOp op : kinds) {
            for (int nth = 1; nth <= counts[static_cast<int>(op)]; ++nth) {
                WriteWholeFile(archive, original);
                {
                    FaultPlan fail(op, nth);
                    failures += !ReportArchiveOutcome(PatchArchive(archive.c_str(), records, 2));
                }
                // Whatever the failure left, a plain run completes it (a recovery when the
                // archive was cut short).
                ReportArchiveOutcome(PatchArchive(archive.c_str(), records, 2));
            }
        }
        // The look at an archive already patched failing at each of its operations: the
        // rewrite then runs (the plain run above left it patched).
        for (IoOp op : {IoOp::Open, IoOp::Seek, IoOp::Read, IoOp::Alloc}) {
            for (int nth = 1; nth <= lookCounts[static_cast<int>(op)]; ++nth) {
                FaultPlan fail(op, nth);
                failures += !ReportArchiveOutcome(PatchArchive(archive.c_str(), records, 2));
            }
        }
        // A hostile archive and a damaged pair, refused.
        Bytes hostile = original;
        hostile[6] = hostile[7] = 0xFF;
        WriteWholeFile(archive, hostile);
        failures += !ReportArchiveOutcome(PatchArchive(archive.c_str(), records, 2));
        WriteWholeFile(archive, Bytes(original.begin(), original.begin() + 100));
        WriteWholeFile(temp, Bytes(original.begin(), original.begin() + 200));
        failures += !ReportArchiveOutcome(PatchArchive(archive.c_str(), records, 2));
        DeleteFileW(temp.c_str());
        // The fingerprint check: matching, another release, archive and copy unreadable.
        WriteWholeFile(archive, original);
        for (int delta : {0, 1}) {
            ParsedFingerprints fingerprints(FingerprintBytes(dir.Path(), {L"title.arc"}, delta));
            failures += !ArchiveMayBeRewritten(archive.c_str(), fingerprints.Find(u"title.arc"));
        }
        {
            ParsedFingerprints fingerprints(FingerprintBytes(dir.Path(), {L"title.arc"}));
            DeleteFileW(archive.c_str());
            WriteWholeFile(temp, Bytes(original.begin(), original.begin() + 5));
            ArchiveMayBeRewritten(archive.c_str(), fingerprints.Find(u"title.arc"));
        }
        DeleteFileW(temp.c_str());
        messages.Clear();
        return failures;
    };
    oneRound(); // warm-up
    const Usage before = Measure();
    int failures = 0;
    for (int round = 0; round < 3; ++round) failures += oneRound();
    const Usage after = Measure();
    std::printf("%d failed rewrites in 3 rounds\n", failures);
    EXPECT_GT(failures, 30);
    ExpectNoGrowth(before, after, "failure paths");
}

} // namespace
