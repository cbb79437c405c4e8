// Hostile inputs: archives whose header or table lie, in named cases and random mutations,
// and manifest resources that are short or inconsistent. A hostile archive is reported and
// left byte for byte as it was, nothing else in its folder changes, and nothing crashes; a
// hostile manifest does not load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "ReliabilitySupport.h"
#include "archive/PatchArchive.h"
#include "setup/ArchiveReport.h"
#include "payload/Resources.h"

namespace {


// What a correct patcher does with these bytes, worked out from the archive format alone:
// either the rewritten archive, or nothing (the archive is not one it can rewrite safely).
bool ReferenceRewrite(const Bytes& in, const std::vector<FixtureRecord>& records, Bytes* out) {
    if (in.size() < 8) return false;
    const uint32_t n = in[6] | in[7] << 8;
    if (n == 0 || 8 + 80ull * n > in.size()) return false;
    const uint32_t dataStart = GetU32(in, 8 + 76);
    if (dataStart < 8 + 80 * n) return false;
    for (uint32_t i = 0; i < n; ++i)
        if (uint64_t(GetU32(in, 8 + 80 * i + 76)) + GetU32(in, 8 + 80 * i + 68) > in.size()) return false;
    for (size_t r = 0; r < records.size(); ++r) {
        if (records[r].index >= n) return false;
        for (size_t s = r + 1; s < records.size(); ++s)
            if (records[s].index == records[r].index) return false;
    }
    out->assign(in.begin(), in.begin() + 8 + 80 * n);
    out->resize(dataStart, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const size_t at = 8 + 80 * i;
        const FixtureRecord* rec = nullptr;
        for (const auto& r : records)
            if (r.index == i) rec = &r;
        Bytes data = rec ? rec->data
                         : Bytes(in.begin() + GetU32(in, at + 76), in.begin() + GetU32(in, at + 76) + GetU32(in, at + 68));
        PutU32(*out, at + 68, static_cast<uint32_t>(data.size()));
        if (rec) PutU32(*out, at + 72, rec->sizeWord | 0x40000000u);
        PutU32(*out, at + 76, static_cast<uint32_t>(out->size()));
        out->insert(out->end(), data.begin(), data.end());
    }
    return true;
}

// Every file below a folder with its bytes.
std::map<std::wstring, Bytes> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, Bytes> files;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (auto& [inner, bytes] : Snapshot(folder + name + L"\\")) files[name + L"\\" + inner] = bytes;
        } else {
            ReadWholeFile(folder + name, &files[name]);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return files;
}

// A small deterministic generator (xorshift), so a failing case can be named by its number.
struct Rng {
    uint32_t x;
    uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

FixtureArchive SmallArchive() {
    FixtureArchive a;
    a.entries = {{Pattern(300, 1), 0x10}, {Pattern(0, 2), 0x20}, {Pattern(600, 3), 0x30},
                 {Pattern(17, 4), 0x40}, {Pattern(250, 5), 0x50}};
    a.gapBeforeData = 24;
    a.gapBetween = 8;
    a.reversedData = true;
    a.trailing = 40;
    return a;
}

// A random lie about one part of the archive.
void Mutate(Bytes& b, Rng& rng) {
    const uint32_t size = static_cast<uint32_t>(b.size());
    const uint32_t n = b.size() >= 8 ? (b[6] | b[7] << 8) : 0;
    const uint32_t interesting[] = {0, 1, 7, 8, 8 + 80 * n - 1, 8 + 80 * n, size - 1, size, size + 1,
                                    0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, rng.Next()};
    switch (rng.Below(6)) {
    case 0: // the entry count
        if (b.size() >= 8) {
            const uint32_t counts[] = {0, 1, n - 1, n + 1, 0xFFFF, rng.Below(0x10000)};
            uint32_t c = counts[rng.Below(6)];
            b[6] = static_cast<unsigned char>(c);
            b[7] = static_cast<unsigned char>(c >> 8);
        }
        break;
    case 1: // a stored length or data offset, often of entry 0
    case 2: {
        uint32_t entry = rng.Below(2) ? 0 : rng.Below(std::max(n, 1u) + 1);
        size_t at = 8 + 80 * size_t(entry) + (rng.Below(2) ? 68 : 76);
        if (at + 4 <= b.size()) PutU32(b, at, interesting[rng.Below(sizeof interesting / sizeof interesting[0])]);
        break;
    }
    case 3: // cut short
        b.resize(rng.Below(size + 1));
        break;
    case 4: // a flipped byte in the header or the table
        if (!b.empty()) b[rng.Below(std::min<uint32_t>(size, 8 + 80 * 6))] ^= static_cast<unsigned char>(1 + rng.Below(255));
        break;
    case 5: // bytes appended
        b.insert(b.end(), rng.Below(100), static_cast<unsigned char>(rng.Next()));
        break;
    }
}

class HostileArchiveTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder messages;
    std::wstring folder = dir / L"data\\";
    std::wstring archive = folder + L"victim.arc";
    std::wstring temp = folder + L"victim.tmp";

    void SetUp() override {
        CreateDirectoryW(folder.c_str(), nullptr);
        // Neighbours that must never change.
        ASSERT_TRUE(WriteWholeFile(folder + L"neighbour.arc", BuildArchive(SmallArchive())));
        ASSERT_TRUE(WriteWholeFile(folder + L"notes.txt", Pattern(123, 9)));
    }

    // Patches one archive and checks it against the reference; returns false on a mismatch.
    bool Check(const std::string& what, const Bytes& bytes, const std::vector<FixtureRecord>& records) {
        messages.Clear();
        EXPECT_TRUE(WriteWholeFile(archive, bytes));
        auto before = Snapshot(folder);
        std::vector<EntryPatch> entries;
        for (const auto& r : records)
            entries.push_back({r.index, r.sizeWord, static_cast<uint32_t>(r.data.size()), 0, r.data.data()});
        int rc = ReportArchiveOutcome(PatchArchive(archive.c_str(), entries.data(), static_cast<uint32_t>(entries.size()))) ? 1 : 0;

        Bytes want;
        const bool accepted = ReferenceRewrite(bytes, records, &want);
        if (!accepted) want = bytes;
        auto after = Snapshot(folder);
        before[L"victim.arc"] = want;
        bool ok = true;
        auto fail = [&](const std::string& why) {
            ADD_FAILURE() << what << ": " << why;
            ok = false;
        };
        if (rc != (accepted ? 1 : 0)) fail(accepted ? "a rewritable archive was refused" : "a hostile archive was accepted");
        if (after[L"victim.arc"] != want) fail(accepted ? "wrong rewrite" : "the hostile archive was changed");
        if (after != before) fail("files other than the archive changed, appeared or vanished");
        if (messages.Messages().size() != (accepted ? 0u : 1u))
            fail("expected " + std::string(accepted ? "no message" : "one message") + ", got " +
                 std::to_string(messages.Messages().size()));
        if (Exists(temp)) fail("temporary file left behind");
        return ok;
    }
};

TEST_F(HostileArchiveTest, NamedCasesAreReportedAndLeftUntouched) {
    const Bytes good = BuildArchive(SmallArchive());
    auto with = [&](size_t at, uint32_t v) {
        Bytes b = good;
        PutU32(b, at, v);
        return b;
    };
    Bytes noEntries = good, tooMany = good;
    noEntries[6] = noEntries[7] = 0;
    tooMany[6] = 0x40;
    const uint32_t tableEnd = 8 + 80 * 5;
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"zero-length file", {}},
        {"header cut at 7 bytes", Bytes(good.begin(), good.begin() + 7)},
        {"header only", Bytes(good.begin(), good.begin() + 8)},
        {"N larger than the file can hold", tooMany},
        {"N = 0", noEntries},
        {"entry 0 data offset inside the table", with(8 + 76, tableEnd - 1)},
        {"entry 0 data offset inside the header", with(8 + 76, 4)},
        {"entry data running past the end", with(8 + 80 * 2 + 68, 0x10000)},
        {"entry offset past the end", with(8 + 80 * 4 + 76, static_cast<uint32_t>(good.size()) + 1)},
        {"offset + length wrapping 32 bits", with(8 + 80 * 3 + 68, 0xFFFFFFF0)},
        {"file cut inside the data", Bytes(good.begin(), good.end() - 41)},
    };
    for (const auto& c : cases) Check(c.what, c.bytes, {{2, 5, Pattern(40, 7)}});
}

// Random lies in the header and table, and random record lists. CI runs 400 cases, the long
// mode (KSTR_LONG_TESTS=1) 5,000.
TEST_F(HostileArchiveTest, RandomMutationsNeverCorruptOrEscapeTheArchive) {
    wchar_t longMode[8] = L"";
    GetEnvironmentVariableW(L"KSTR_LONG_TESTS", longMode, 8);
    const int cases = lstrcmpW(longMode, L"1") == 0 ? 5000 : 400;
    const Bytes good = BuildArchive(SmallArchive());
    int accepted = 0, failures = 0;
    Rng rng{0x9E3779B9u};
    for (int k = 0; k < cases && failures < 5; ++k) {
        Bytes bytes = good;
        for (uint32_t m = 1 + rng.Below(3); m; --m) Mutate(bytes, rng);
        std::vector<FixtureRecord> records;
        for (uint32_t r = rng.Below(4); r; --r)
            records.push_back({rng.Below(7), rng.Next(), Pattern(rng.Below(64), rng.Next())});
        Bytes want;
        accepted += ReferenceRewrite(bytes, records, &want);
        if (!Check("case " + std::to_string(k), bytes, records)) ++failures;
    }
    std::printf("%d mutated archives, %d rewritable, %d refused\n", cases, accepted, cases - accepted);
    EXPECT_GT(accepted, cases / 20) << "the mutations hardly ever leave a rewritable archive";
    EXPECT_GT(cases - accepted, cases / 4) << "the mutations hardly ever produce a hostile archive";
}

// ---- Manifest resources of this test program (HostileManifests.rc).

// Each resource loaded as the installer's manifest, with the well-formed payload (310 again:
// any bytes do) and no fingerprints.
PatchLoad LoadManifestResource(int id, LoadedPatch* patch) {
    return LoadEmbeddedPatch({id, 310, 399}, patch);
}

TEST(HostileManifest, ShortOrInconsistentResourcesDoNotLoad) {
    LoadedPatch patch;
    ASSERT_EQ(LoadManifestResource(310, &patch), PatchLoad::Loaded) << "the well-formed manifest";
    ASSERT_EQ(patch.setCount, 1u);
    EXPECT_EQ(patch.sets[0].recordCount, 1u);
    EXPECT_EQ(patch.sets[0].records[0].payloadOffset, 0u);
    FreeLoadedPatch(&patch);

    const struct {
        int id;
        const char* what;
    } cases[] = {
        {311, "empty resource"},
        {312, "two bytes"},
        {313, "count without a block"},
        {314, "name length far past the end"},
        {315, "count larger than the blocks"},
        {316, "bytes after the last block"},
        {317, "name without its NUL"},
        {318, "name climbing out of the game folder"},
        {319, "record count far past the end"},
        {320, "records cut short"},
        {321, "absolute name"},
        {322, "name whose temporary file would be itself"},
        {323, "name length 0"},
        {399, "missing resource"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoadManifestResource(c.id, &patch), PatchLoad::ManifestUnusable) << c.what;
        EXPECT_EQ(patch.sets, nullptr) << c.what << ": a table was kept";
        EXPECT_EQ(patch.setCount, 0u) << c.what;
        FreeLoadedPatch(&patch);
    }
}

} // namespace
