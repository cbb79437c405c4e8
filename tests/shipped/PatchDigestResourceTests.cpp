// The built setup.exe (and its x86_64 twin) carry the patch's progress total when the patch
// folder has one, and always the digest of exactly the patch files they embed: every listed
// file is embedded byte for byte and its SHA-256 (as sha256sum computes it) is the listed one.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "PeResources.h"
#include "core/PatchDigest.h"
#include "core/ProgressTotal.h"

namespace {

constexpr uint32_t kRawData = 10;
std::string PartPath(PatchPart part) { return std::string(EMBED_PATCH_DIR "/") + kPatchParts[part].fileName; }

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Sha256Sum(const std::string& path) {
    std::string out;
    if (std::FILE* p = popen(("sha256sum '" + path + "'").c_str(), "r")) {
        char buffer[128] = {};
        if (std::fgets(buffer, sizeof buffer, p)) out.assign(buffer, 64);
        pclose(p);
    }
    return out;
}

std::string Hex(const unsigned char (&hash)[kSha256Size]) {
    char hex[2 * kSha256Size + 1];
    FormatSha256(hash, hex);
    return hex;
}

PeImage Load(const char* exe) {
    PeImage image;
    std::string error;
    EXPECT_TRUE(ReadPeImage(ReadFile(exe), &image, &error)) << exe << ": " << error;
    return image;
}

TEST(ShippedSetup, CarriesTheProgressTotalOfThePatchItEmbeds) {
    const PatchPartInfo& part = PatchPartInfoOf(kPartProgressTotal);
    const std::vector<unsigned char> file = ReadFile(PartPath(kPartProgressTotal));
    for (const char* exe : {WIN32_BUILD_DIR "/setup.exe", WIN64_BUILD_DIR "/setup.exe"}) {
        SCOPED_TRACE(exe);
        PeImage image = Load(exe);
        const PeResource* res = FindPeResource(image, kRawData, part.resourceId);
        if (file.empty()) {
            EXPECT_EQ(res, nullptr) << "a progress total embedded although the patch folder has none";
            continue;
        }
        ASSERT_NE(res, nullptr) << "raw data " << part.resourceId << " missing";
        EXPECT_EQ(res->language, 0x0804u);
        EXPECT_TRUE(res->data == file) << "raw data " << part.resourceId << " differs from " << part.fileName;
        uint32_t units = 0;
        EXPECT_TRUE(ParseProgressTotal(res->data.data(), res->data.size(), &units));
        EXPECT_GT(units, 0u);
    }
}

TEST(ShippedSetup, CarriesTheDigestOfExactlyThePatchItEmbeds) {
    for (const char* exe : {WIN32_BUILD_DIR "/setup.exe", WIN64_BUILD_DIR "/setup.exe"}) {
        SCOPED_TRACE(exe);
        PeImage image = Load(exe);
        const PeResource* res = FindPeResource(image, kRawData, kPatchDigestResourceId);
        ASSERT_NE(res, nullptr) << "raw data " << kPatchDigestResourceId << " (the patch's digest) missing";
        EXPECT_EQ(res->language, 0x0804u);
        PatchDigest digest{};
        ASSERT_TRUE(ParsePatchDigest(res->data.data(), res->data.size(), &digest))
            << std::string(res->data.begin(), res->data.end());
        for (int part = 0; part < kPatchPartCount; ++part) {
            const PatchPartInfo& info = PatchPartInfoOf(static_cast<PatchPart>(part));
            SCOPED_TRACE(info.fileName);
            const PeResource* embedded = FindPeResource(image, kRawData, info.resourceId);
            EXPECT_EQ(digest.listed[part], embedded != nullptr) << "listed exactly when embedded";
            if (!embedded) continue;
            const std::string file = PartPath(static_cast<PatchPart>(part));
            EXPECT_TRUE(embedded->data == ReadFile(file)) << "embedded bytes differ from " << file;
            EXPECT_EQ(Hex(digest.sha256[part]), Sha256Sum(file));
        }
    }
}

} // namespace
