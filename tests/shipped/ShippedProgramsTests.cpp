// The shipped setup.exe (and its x86_64 twin) carry the build's patch inputs byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "PeResources.h"
#include "TestBytes.h"
#include "core/PatchParts.h"

namespace {

constexpr uint32_t kRawData = 10;
constexpr uint16_t kChinesePrc = 0x0804;

PeImage Load(const std::string& path) {
    PeImage image;
    std::string error;
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    EXPECT_FALSE(bytes.empty()) << path;
    EXPECT_TRUE(ReadPeImage(bytes, &image, &error)) << path << ": " << error;
    return image;
}

void ExpectRawData(const PeImage& image, uint32_t id, const std::string& file) {
    const PeResource* res = FindPeResource(image, kRawData, id);
    ASSERT_NE(res, nullptr) << "raw data " << id << " missing";
    EXPECT_EQ(res->language, kChinesePrc) << "raw data " << id;
    std::vector<unsigned char> expected = ReadFileBytes(file);
    ASSERT_FALSE(expected.empty()) << file;
    EXPECT_TRUE(res->data == expected) << "raw data " << id << " differs from " << file;
}

TEST(ShippedSetup, IsA32BitGuiProgram) {
    PeImage image = Load(WIN32_BUILD_DIR "/setup.exe");
    EXPECT_EQ(image.machine, 0x14C);
    EXPECT_TRUE(image.gui);
    EXPECT_EQ(Load(WIN64_BUILD_DIR "/setup.exe").machine, 0x8664);
}

// The author's tool ships beside the installer: a console program of the same build.
TEST(ShippedAuthorTool, IsA32BitConsoleProgram) {
    PeImage image = Load(WIN32_BUILD_DIR "/patchbuild.exe");
    EXPECT_EQ(image.machine, 0x14C);
    EXPECT_FALSE(image.gui);
    EXPECT_EQ(Load(WIN64_BUILD_DIR "/patchbuild.exe").machine, 0x8664);
}

TEST(ShippedSetup, CarriesManifestAndPayloadOfTheBuild) {
    for (const char* exe : {WIN32_BUILD_DIR "/setup.exe", WIN64_BUILD_DIR "/setup.exe"}) {
        SCOPED_TRACE(exe);
        PeImage image = Load(exe);
        for (const PatchPartInfo& part : kPatchParts)
            if (!part.optional) ExpectRawData(image, part.resourceId, std::string(EMBED_PATCH_DIR "/") + part.fileName);
    }
}

TEST(ShippedSetup, CarriesTheSwitcherBuiltAlongsideIt) {
    for (const char* dir : {WIN32_BUILD_DIR, WIN64_BUILD_DIR}) {
        std::string switcher = std::string(dir) + "/KSTRLangSet.exe";
        if (ReadFileBytes(switcher).empty()) GTEST_SKIP() << "no switcher in this build yet";
        ExpectRawData(Load(std::string(dir) + "/setup.exe"), 169, switcher);
    }
}

TEST(PeReader, RejectsWhatIsNotAProgram) {
    PeImage image;
    std::string error;
    EXPECT_FALSE(ReadPeImage({}, &image, &error));
    std::vector<unsigned char> exe = ReadFileBytes(WIN32_BUILD_DIR "/setup.exe");
    std::vector<unsigned char> cut(exe.begin(), exe.begin() + 300);
    EXPECT_FALSE(ReadPeImage(cut, &image, &error));
}

} // namespace
