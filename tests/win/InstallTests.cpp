// The installation after the folder choice, with patch data that is whole and with patch
// data that is missing or damaged: a damaged installer writes nothing, not even the
// companion program, and says so in one message.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "setup/Globals.h"
#include "setup/Installation.h"

namespace {

// A stored manifest naming archives with one 4-byte record each (entry 2, payload offset 0).
Bytes Manifest(const std::vector<std::wstring>& names) {
    Bytes out;
    AppendU32(out, static_cast<uint32_t>(names.size()));
    for (const auto& name : names) {
        AppendU32(out, static_cast<uint32_t>(name.size() + 1));
        for (wchar_t c : name) out.push_back(static_cast<unsigned char>(c)), out.push_back(static_cast<unsigned char>(c >> 8));
        out.push_back(0), out.push_back(0);
        AppendU32(out, 1);
        for (uint32_t v : {2u, 0x40000000u, 4u, 0u}) AppendU32(out, v);
    }
    return out;
}

class InstallTest : public ::testing::Test {
protected:
    ScratchDir game;
    MessageRecorder messages;
    const std::wstring archive = game / L"nativePC\\a.arc";
    const Bytes archiveBytes = BuildArchive(TypicalArchive());

    void SetUp() override {
        CreateDirectoryW((game / L"nativePC").c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(archive, archiveBytes));
        lstrcpynW(g_gameDir, game.Path().c_str(), kPathUnits);
    }
    void TearDown() override { g_gameDir[0] = 0; }

    PatchLoad InstallFrom(const Bytes* manifest, const Bytes* payload, const Bytes* fingerprints,
                          const Bytes* progressTotal = nullptr) {
        PatchBytes bytes;
        if (progressTotal) bytes[kPartProgressTotal] = {progressTotal->data(), progressTotal->size()};
        if (manifest) bytes[kPartManifest] = {manifest->data(), manifest->size()};
        if (payload) bytes[kPartPayload] = {payload->data(), payload->size()};
        if (fingerprints) bytes[kPartFingerprints] = {fingerprints->data(), fingerprints->size()};
        LoadedPatch patch;
        PatchLoad load = LoadPatch(bytes, &patch);
        Install(patch, load);
        FreeLoadedPatch(&patch);
        return load;
    }
};

TEST_F(InstallTest, DamagedPatchDataWritesNothingAndIsToldOnce) {
    const Bytes manifest = Manifest({L"nativePC\\a.arc"});
    const Bytes cutManifest(manifest.begin(), manifest.end() - 3);
    const Bytes payload(16, 0xEE);
    Bytes badFingerprints = {'K', 'S', 'F', 'P'};
    AppendU32(badFingerprints, 1);
    AppendU32(badFingerprints, 5); // five archives announced, none stored
    const std::wstring patchDamaged =
        L"Kestrune 1.2版汉化补丁未能安装：安装程序中的补丁数据缺失或已损坏，游戏文件未被修改。请重新下载本安装程序。";
    const std::wstring fingerprintsDamaged =
        L"Kestrune 1.2版汉化补丁未能安装：安装程序中用于核对游戏文件版本的数据已损坏，游戏文件未被修改。请重新下载本安装程序。";
    const Bytes cutTotal = {'K', 'S', 'P', 'T', 1, 0, 0, 0, 9, 9, 9};
    const struct {
        const char* what;
        const Bytes *manifest, *payload, *fingerprints;
        PatchLoad load;
        const std::wstring& text;
        const Bytes* progressTotal;
    } cases[] = {
        {"no manifest", nullptr, &payload, nullptr, PatchLoad::ManifestUnusable, patchDamaged, nullptr},
        {"manifest cut short", &cutManifest, &payload, nullptr, PatchLoad::ManifestUnusable, patchDamaged, nullptr},
        {"no payload", &manifest, nullptr, nullptr, PatchLoad::PayloadMissing, patchDamaged, nullptr},
        {"fingerprints present but malformed", &manifest, &payload, &badFingerprints,
         PatchLoad::FingerprintsMalformed, fingerprintsDamaged, nullptr},
        {"progress total present but malformed", &manifest, &payload, nullptr, PatchLoad::ProgressTotalMalformed,
         patchDamaged, &cutTotal},
    };
    for (const auto& c : cases) {
        messages.Clear();
        EXPECT_EQ(InstallFrom(c.manifest, c.payload, c.fingerprints, c.progressTotal), c.load) << c.what;
        ASSERT_EQ(messages.Messages().size(), 1u) << c.what;
        EXPECT_EQ(messages.Messages()[0].caption, L"安装失败") << c.what;
        EXPECT_EQ(messages.Messages()[0].text, c.text) << c.what;
        EXPECT_FALSE(Exists(game / L"KSTRLangSet.exe")) << c.what << ": the companion program was written";
        Bytes now;
        ASSERT_TRUE(ReadWholeFile(archive, &now));
        EXPECT_TRUE(now == archiveBytes) << c.what << ": the archive changed";
        EXPECT_TRUE(FindTempFiles(game.Path()).empty()) << c.what;
    }
}

// The control: whole patch data (here a manifest naming no archive) writes the companion
// program and ends with the closing message of a clean run.
TEST_F(InstallTest, WholePatchDataWritesTheCompanion) {
    const Bytes empty = Manifest({});
    EXPECT_EQ(InstallFrom(&empty, nullptr, nullptr), PatchLoad::Loaded);
    EXPECT_TRUE(Exists(game / L"KSTRLangSet.exe"));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].caption, L"成功安装");
}

} // namespace
