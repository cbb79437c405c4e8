// The built setup.exe (and its x86_64 twin) carry the patch folder's fingerprints.bin when it
// has one, naming exactly the manifest's archives in its order; without the file they carry
// none, and the installer then checks no archive.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "PeResources.h"
#include "TestBytes.h"
#include "core/Fingerprints.h"
#include "core/PatchParts.h"
#include "core/PatchManifest.h"

namespace {

constexpr uint32_t kRawData = 10;
const PatchPartInfo& kFingerprints = PatchPartInfoOf(kPartFingerprints);
const PatchPartInfo& kManifest = PatchPartInfoOf(kPartManifest);

TEST(ShippedSetup, CarriesTheFingerprintsOfThePatchItEmbeds) {
    const std::vector<unsigned char> file = ReadFileBytes(std::string(EMBED_PATCH_DIR "/") + kFingerprints.fileName);
    for (const char* exe : {WIN32_BUILD_DIR "/setup.exe", WIN64_BUILD_DIR "/setup.exe"}) {
        SCOPED_TRACE(exe);
        PeImage image;
        std::string error;
        ASSERT_TRUE(ReadPeImage(ReadFileBytes(exe), &image, &error)) << error;
        const PeResource* res = FindPeResource(image, kRawData, kFingerprints.resourceId);
        if (file.empty()) {
            EXPECT_EQ(res, nullptr) << "fingerprints embedded although the patch folder has none";
            continue;
        }
        ASSERT_NE(res, nullptr) << "raw data " << kFingerprints.resourceId << " missing";
        EXPECT_EQ(res->language, 0x0804u);
        EXPECT_TRUE(res->data == file) << "raw data " << kFingerprints.resourceId << " differs from " << kFingerprints.fileName;

        const PeResource* manifest = FindPeResource(image, kRawData, kManifest.resourceId);
        ASSERT_NE(manifest, nullptr);
        ArchivePatchSet* sets = nullptr;
        uint32_t count = 0;
        FingerprintTable table{0, nullptr, 0};
        ASSERT_TRUE(ParsePatchManifest(manifest->data.data(), manifest->data.size(), &sets, &count));
        ASSERT_TRUE(ParseFingerprints(res->data.data(), res->data.size(), &table));
        EXPECT_EQ(table.count, count);
        for (uint32_t i = 0; i < count && i < table.count; ++i)
            EXPECT_EQ(std::u16string(table.items[i].name), std::u16string(sets[i].name)) << "archive " << i;
        FreeFingerprintTable(&table);
        FreePatchSets(sets, count);
    }
}

} // namespace
