// The installer's check of itself at start, on a program that carries the build's patch with
// one payload byte flipped (and, under another id, the payload as built): the real entry
// point says once that the installer is damaged and ends before its first dialog, with
// nothing written; the same patch as built loads, with its progress total.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "core/LoadedPatch.h"
#include "payload/Resources.h"
#include "setup/resource.h"

namespace {

constexpr int kPayloadAsBuilt = 359; // tests/win/CMakeLists.txt embeds it beside the flipped one
constexpr int kNoSuchResource = 999;

const wchar_t kDamaged[] =
    L"本安装程序已损坏（可能下载不完整或在传输中出错），无法安装，游戏文件未被修改。请重新下载本安装程序。";

TEST(SelfCheck, OneFlippedPayloadByteEndsTheInstallerAtStartWithOneMessage) {
    MessageRecorder messages;
    // The notice's template is not in this program: had the check let the installer go on,
    // its first dialog would fail and it would end without a message.
    EXPECT_EQ(WinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL), 0);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text, kDamaged);
    EXPECT_EQ(messages.Messages()[0].caption, L"安装失败");
}

TEST(SelfCheck, WhatTheDigestCoversAndWhatLoadsWithout) {
    const struct {
        const char* what;
        PatchResourceIds ids;
        PatchLoad load;
    } cases[] = {
        {"as built", {IDR_MANIFEST, kPayloadAsBuilt, IDR_FINGERPRINTS, IDR_PROGRESS_TOTAL, IDR_PATCH_DIGEST},
         PatchLoad::Loaded},
        {"one payload byte flipped", {IDR_MANIFEST, IDR_PAYLOAD, IDR_FINGERPRINTS, IDR_PROGRESS_TOTAL, IDR_PATCH_DIGEST},
         PatchLoad::InstallerDamaged},
        {"the same, unchecked", {IDR_MANIFEST, IDR_PAYLOAD, IDR_FINGERPRINTS, IDR_PROGRESS_TOTAL, 0}, PatchLoad::Loaded},
        {"no digest", {IDR_MANIFEST, kPayloadAsBuilt, IDR_FINGERPRINTS, IDR_PROGRESS_TOTAL, kNoSuchResource},
         PatchLoad::InstallerDamaged},
        {"the fingerprints missing", {IDR_MANIFEST, kPayloadAsBuilt, kNoSuchResource, IDR_PROGRESS_TOTAL, IDR_PATCH_DIGEST},
         PatchLoad::InstallerDamaged},
        {"the progress total missing", {IDR_MANIFEST, kPayloadAsBuilt, IDR_FINGERPRINTS, kNoSuchResource, IDR_PATCH_DIGEST},
         PatchLoad::InstallerDamaged},
        {"the payload in the manifest's place", {kPayloadAsBuilt, kPayloadAsBuilt, IDR_FINGERPRINTS, IDR_PROGRESS_TOTAL,
                                                  IDR_PATCH_DIGEST},
         PatchLoad::InstallerDamaged},
    };
    for (const auto& c : cases) {
        LoadedPatch patch;
        EXPECT_EQ(LoadEmbeddedPatch(c.ids, &patch), c.load) << c.what;
        if (c.load == PatchLoad::InstallerDamaged) {
            EXPECT_EQ(patch.setCount, 0u) << c.what << ": loaded anyway";
        }
        if (c.load == PatchLoad::Loaded) {
            EXPECT_GT(patch.setCount, 0u) << c.what;
            EXPECT_TRUE(patch.hasProgressTotal) << c.what;
            EXPECT_GT(patch.progressTotalUnits, 0u) << c.what;
        }
        FreeLoadedPatch(&patch);
    }
}

} // namespace
