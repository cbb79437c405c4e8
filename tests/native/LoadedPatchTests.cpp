// The patch as the installer loads it: manifest, payload and fingerprints checked once, the
// first problem reported, each set resolved and carrying its own fingerprint.
#include <gtest/gtest.h>

#include "core/FingerprintWriter.h"
#include "core/LoadedPatch.h"
#include "core/ManifestWriter.h"
#include "core/ProgressTotal.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Two archives: the first's record lies inside a 100-byte payload, the second's does not.
const Bytes kManifest = SerializeManifest({
    {u"nativePC\\a.arc", {{0, 1, 40, 60, nullptr}}},
    {u"nativePC\\rom\\longer.arc", {{1, 2, 10, 95, nullptr}}},
});
const Bytes kPayload(100, 0xAB);
const Bytes kFingerprints = SerializeFingerprints({{u"nativePC\\rom\\longer.arc", 7, 1, 2, 3}});

struct Loaded {
    LoadedPatch patch;
    PatchLoad result;
    Loaded(const Bytes* manifest, const Bytes* payload, const Bytes* fingerprints) {
        PatchBytes bytes;
        if (manifest) bytes[kPartManifest] = {manifest->data(), manifest->size()};
        if (payload) bytes[kPartPayload] = {payload->data(), payload->size()};
        if (fingerprints) bytes[kPartFingerprints] = {fingerprints->data(), fingerprints->size()};
        result = LoadPatch(bytes, &patch);
    }
    ~Loaded() { FreeLoadedPatch(&patch); }
};

TEST(LoadedPatch, SetsAreResolvedOneByOneAndCarryTheirFingerprints) {
    Loaded l(&kManifest, &kPayload, &kFingerprints);
    ASSERT_EQ(l.result, PatchLoad::Loaded);
    ASSERT_EQ(l.patch.setCount, 2u);
    EXPECT_EQ(l.patch.longestNameUnits, 23u); // nativePC\rom\longer.arc
    EXPECT_EQ(l.patch.payload, kPayload.data());
    EXPECT_EQ(l.patch.payloadSize, 100u);

    EXPECT_TRUE(l.patch.sets[0].resolved);
    EXPECT_EQ(l.patch.sets[0].records[0].data, kPayload.data() + 60);
    EXPECT_EQ(l.patch.sets[0].fingerprint, nullptr) << "no fingerprint for this name: not checked";

    EXPECT_FALSE(l.patch.sets[1].resolved) << "95 + 10 runs past the payload";
    EXPECT_EQ(l.patch.sets[1].records[0].data, nullptr);
    ASSERT_NE(l.patch.sets[1].fingerprint, nullptr);
    EXPECT_EQ(l.patch.sets[1].fingerprint->entryCount, 7u);
}

TEST(LoadedPatch, TheFirstProblemIsReported) {
    const Bytes damaged(kManifest.begin(), kManifest.end() - 1);
    const Bytes badFingerprints(kFingerprints.begin(), kFingerprints.end() - 1);
    const Bytes emptyManifest = SerializeManifest({});
    const struct {
        const char* what;
        const Bytes *manifest, *payload, *fingerprints;
        PatchLoad result;
        uint32_t setsLoaded;
    } cases[] = {
        {"everything", &kManifest, &kPayload, &kFingerprints, PatchLoad::Loaded, 2},
        {"no fingerprints: a build that carries none", &kManifest, &kPayload, nullptr, PatchLoad::Loaded, 2},
        {"an empty manifest needs no payload", &emptyManifest, nullptr, nullptr, PatchLoad::Loaded, 0},
        {"no manifest", nullptr, &kPayload, &kFingerprints, PatchLoad::ManifestUnusable, 0},
        {"manifest one byte short", &damaged, &kPayload, &kFingerprints, PatchLoad::ManifestUnusable, 0},
        {"no payload", &kManifest, nullptr, &kFingerprints, PatchLoad::PayloadMissing, 2},
        {"fingerprints one byte short", &kManifest, &kPayload, &badFingerprints, PatchLoad::FingerprintsMalformed, 2},
    };
    for (const auto& c : cases) {
        Loaded l(c.manifest, c.payload, c.fingerprints);
        EXPECT_EQ(l.result, c.result) << c.what;
        EXPECT_EQ(l.patch.setCount, c.setsLoaded) << c.what;
        if (c.result == PatchLoad::FingerprintsMalformed) {
            EXPECT_EQ(l.patch.fingerprints.count, 0u) << c.what;
            EXPECT_EQ(l.patch.sets[1].fingerprint, nullptr) << c.what;
        }
    }
}

// The patch's own progress total travels with it; a patch without one is measured against
// the fixed total, and one whose total does not read is not installed.
TEST(LoadedPatch, TheProgressTotalIsReadWhenThePatchCarriesOne) {
    unsigned char stored[kProgressTotalSize];
    StoreProgressTotal(22353, stored);
    const Bytes total(stored, stored + sizeof stored), cut(stored, stored + sizeof stored - 1);
    const struct {
        const char* what;
        const Bytes* total;
        PatchLoad result;
        bool has;
    } cases[] = {
        {"a total", &total, PatchLoad::Loaded, true},
        {"none: a build that carries none", nullptr, PatchLoad::Loaded, false},
        {"one byte short", &cut, PatchLoad::ProgressTotalMalformed, false},
    };
    for (const auto& c : cases) {
        PatchBytes bytes;
        bytes[kPartManifest] = {kManifest.data(), kManifest.size()};
        bytes[kPartPayload] = {kPayload.data(), kPayload.size()};
        if (c.total) bytes[kPartProgressTotal] = {c.total->data(), c.total->size()};
        LoadedPatch patch;
        EXPECT_EQ(LoadPatch(bytes, &patch), c.result) << c.what;
        EXPECT_EQ(patch.hasProgressTotal, c.has) << c.what;
        if (c.has) {
            EXPECT_EQ(patch.progressTotalUnits, 22353u) << c.what;
        }
        FreeLoadedPatch(&patch);
        EXPECT_FALSE(patch.hasProgressTotal);
    }
}

TEST(LoadedPatch, FreeingLeavesItEmpty) {
    Loaded l(&kManifest, &kPayload, &kFingerprints);
    FreeLoadedPatch(&l.patch);
    EXPECT_EQ(l.patch.sets, nullptr);
    EXPECT_EQ(l.patch.setCount, 0u);
    EXPECT_EQ(l.patch.fingerprints.items, nullptr);
    FreeLoadedPatch(&l.patch); // twice is harmless
}

} // namespace
