// The authoring tool's installer writer (payload/InstallerImage.h) on the build's own
// setup.exe as its template and patchbuild's patch folder (fixture "authordata"): the written
// installer carries exactly the patch and its digest and every other resource as the build
// made it; a template that is not this project's setup.exe is refused; and a failure at any
// step leaves an earlier installer of that name as it was, with nothing beside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "TestSupport.h"
#include "core/PatchDigest.h"
#include "payload/InstallerImage.h"
#include "setup/resource.h"

static_assert(kCompanionResourceId == IDR_LANGSET, "the writer checks the companion program the installer carries");

namespace {

std::wstring EnvPath(const wchar_t* name) {
    std::wstring path = FolderFromEnvironment(name);
    if (!path.empty()) path.pop_back(); // a file, not a folder
    return path;
}
std::wstring Template() { return EnvPath(L"KSTR_INSTALLER_TEMPLATE"); }
std::wstring Companion() { return EnvPath(L"KSTR_COMPANION"); }
std::wstring PatchDir() { return FolderFromEnvironment(L"KSTR_AUTHORDATA") + L"patch\\"; }

// The four files of a patch folder, in the order of PatchPart.
struct PatchFolder {
    Bytes bytes[kPatchPartCount];
    PatchPartBytes parts[kPatchPartCount];
    explicit PatchFolder(const std::wstring& dir) {
        for (int part = 0; part < kPatchPartCount; ++part) {
            std::string name = kPatchParts[part].fileName;
            EXPECT_TRUE(ReadWholeFile(dir + std::wstring(name.begin(), name.end()), &bytes[part])) << name;
            parts[part] = {bytes[part].data(), bytes[part].size()};
        }
    }
};

// Every resource of a program: (type, name, language) -> bytes; integer ids only, which is
// all the build makes (named ones are kept as "#name" strings).
using ResourceKey = std::tuple<std::wstring, std::wstring, WORD>;
using ResourceMap = std::map<ResourceKey, Bytes>;

std::wstring IdText(LPCWSTR id) { return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(uintptr_t(id)) : id; }

struct Walk {
    HMODULE module;
    ResourceMap* out;
    LPCWSTR type = nullptr, name = nullptr;
};

BOOL CALLBACK OnLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
    auto* walk = reinterpret_cast<Walk*>(param);
    HRSRC info = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    auto* data = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    Bytes bytes = data ? Bytes(data, data + SizeofResource(module, info)) : Bytes{};
    (*walk->out)[{IdText(type), IdText(name), language}] = bytes;
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    EnumResourceLanguagesW(module, type, name, OnLanguage, param);
    return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR param) {
    EnumResourceNamesW(module, type, OnName, param);
    return TRUE;
}

ResourceMap Resources(const std::wstring& path) {
    ResourceMap map;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    EXPECT_NE(module, nullptr) << Narrow(path);
    if (!module) return map;
    Walk walk{module, &map};
    EnumResourceTypesW(module, OnType, reinterpret_cast<LONG_PTR>(&walk));
    FreeLibrary(module);
    return map;
}

const Bytes* RawData(const ResourceMap& map, int id) {
    for (const auto& [key, bytes] : map)
        if (std::get<0>(key) == L"#10" && std::get<1>(key) == L"#" + std::to_wstring(id)) return &bytes;
    return nullptr;
}

bool NothingBeside(const std::wstring& target) { return !Exists(InstallerTempPath(target.c_str())); }

// The template with one byte of its embedded payload flipped: a download damaged on its way.
Bytes WithPayloadByteFlipped(const Bytes& file, const Bytes& payload) {
    Bytes damaged = file;
    auto at = std::search(damaged.begin(), damaged.end(), payload.begin(), payload.end());
    EXPECT_NE(at, damaged.end()) << "the payload is not stored whole in the template";
    if (at != damaged.end()) at[payload.size() / 2] ^= 0x01;
    return damaged;
}

TEST(InstallerImage, CarriesThePatchAndItsDigestAndEveryOtherResourceAsBuilt) {
    ASSERT_FALSE(Template().empty()) << "KSTR_INSTALLER_TEMPLATE is not set";
    ASSERT_EQ(CheckInstallerTemplate(Template().c_str()), TemplateCheck::Usable);
    PatchFolder patch(PatchDir());
    ScratchDir dir;
    const std::wstring target = dir / L"汉化 安装程序.exe"; // a Chinese name with a space
    InstallerResult result = WriteInstaller(Template().c_str(), target.c_str(), patch.parts);
    ASSERT_EQ(result.step, InstallerStep::Written) << "error " << result.error;
    EXPECT_TRUE(NothingBeside(target));
    EXPECT_EQ(CheckInstallerTemplate(target.c_str()), TemplateCheck::Usable) << "it serves as a template in turn";

    ResourceMap before = Resources(Template()), after = Resources(target);
    for (int part = 0; part < kPatchPartCount; ++part) {
        const Bytes* written = RawData(after, kPatchParts[part].resourceId);
        ASSERT_NE(written, nullptr) << kPatchParts[part].fileName;
        EXPECT_TRUE(*written == patch.bytes[part]) << kPatchParts[part].fileName;
    }
    // The digest lists all four with the SHA-256 of the files, as the build records it.
    const Bytes* digest = RawData(after, kPatchDigestResourceId);
    ASSERT_NE(digest, nullptr);
    PatchBytes written;
    for (int part = 0; part < kPatchPartCount; ++part) written.parts[part] = patch.parts[part];
    EXPECT_TRUE(PatchBytesMatchDigest(written, digest->data(), digest->size()));
    EXPECT_FALSE(*digest == *RawData(before, kPatchDigestResourceId)) << "the template's digest was kept";

    // Everything else, resource by resource and language by language, as the build made it.
    auto isPatch = [](const ResourceKey& key) {
        if (std::get<0>(key) != L"#10") return false;
        for (const PatchPartInfo& info : kPatchParts)
            if (std::get<1>(key) == L"#" + std::to_wstring(info.resourceId)) return true;
        return std::get<1>(key) == L"#" + std::to_wstring(kPatchDigestResourceId);
    };
    size_t others = 0;
    for (const auto& [key, bytes] : before) {
        if (isPatch(key)) continue;
        ++others;
        auto it = after.find(key);
        ASSERT_NE(it, after.end()) << Narrow(std::get<0>(key) + L"/" + std::get<1>(key)) << " is gone";
        EXPECT_TRUE(it->second == bytes) << Narrow(std::get<0>(key) + L"/" + std::get<1>(key)) << " changed";
    }
    EXPECT_GE(others, 5u) << "dialogs, banner, icons, manifest and the companion program";
    EXPECT_EQ(after.size(), before.size()) << "a resource was added or lost";
}

TEST(InstallerImage, RefusesWhatIsNotASetupExeOfThisProjectAndWritesNothing) {
    PatchFolder patch(PatchDir());
    Bytes setup;
    ASSERT_TRUE(ReadWholeFile(Template(), &setup));
    ScratchDir dir;
    const Bytes half(setup.begin(), setup.begin() + setup.size() / 2);
    const Bytes text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'o', 'g', 'r', 'a', 'm', '\n'};
    ASSERT_TRUE(WriteWholeFile(dir / L"half.exe", half));
    ASSERT_TRUE(WriteWholeFile(dir / L"readme.exe", text));
    const ResourceMap built = Resources(Template());
    const Bytes* payload = RawData(built, kPatchParts[kPartPayload].resourceId);
    ASSERT_NE(payload, nullptr);
    ASSERT_TRUE(WriteWholeFile(dir / L"flipped.exe", WithPayloadByteFlipped(setup, *payload)));
    const struct {
        const char* what;
        std::wstring path;
        TemplateCheck expected;
    } cases[] = {
        {"missing", dir / L"nothing.exe", TemplateCheck::Unreadable},
        {"a text file", dir / L"readme.exe", TemplateCheck::NotAProgram},
        {"cut short (half a download)", dir / L"half.exe", TemplateCheck::NotAProgram},
        {"another program (the companion)", Companion(), TemplateCheck::NotThisInstaller},
        {"one payload byte flipped", dir / L"flipped.exe", TemplateCheck::Damaged},
    };
    const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    const std::wstring target = dir / L"setup-new.exe";
    ASSERT_TRUE(WriteWholeFile(target, earlier));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CheckInstallerTemplate(c.path.c_str()), c.expected);
        InstallerResult result = WriteInstaller(c.path.c_str(), target.c_str(), patch.parts);
        EXPECT_EQ(result.step, InstallerStep::TemplateRefused);
        EXPECT_EQ(result.check, c.expected);
        Bytes now;
        EXPECT_TRUE(ReadWholeFile(target, &now) && now == earlier) << "the earlier installer changed";
        EXPECT_TRUE(NothingBeside(target));
    }
}

// A failure at each step (the copy, the resource update, the read back, the flush, the
// rename) leaves the earlier installer byte for byte and nothing beside it.
TEST(InstallerImage, AFailureAtAnyStepLeavesTheEarlierInstallerAsItWas) {
    PatchFolder patch(PatchDir());
    ScratchDir dir;
    const std::wstring target = dir / L"setup.exe";
    ASSERT_EQ(WriteInstaller(Template().c_str(), target.c_str(), patch.parts).step, InstallerStep::Written);
    Bytes earlier;
    ASSERT_TRUE(ReadWholeFile(target, &earlier));

    // A part the resource section cannot take (the read back would also catch it): a payload
    // larger than a resource entry can describe is not tried; an empty manifest is.
    PatchPartBytes emptyManifest[kPatchPartCount];
    std::copy(std::begin(patch.parts), std::end(patch.parts), emptyManifest);
    emptyManifest[kPartManifest] = {nullptr, 0};

    const struct {
        const char* what;
        IoOp op;
        InstallerStep step;
    } faults[] = {
        {"copy", IoOp::Copy, InstallerStep::Copy},
        {"flush", IoOp::Open, InstallerStep::Flush},
        {"rename", IoOp::Rename, InstallerStep::Rename},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        FaultPlan plan(f.op, 1);
        InstallerResult result = WriteInstaller(Template().c_str(), target.c_str(), patch.parts);
        EXPECT_EQ(result.step, f.step);
        Bytes now;
        EXPECT_TRUE(ReadWholeFile(target, &now) && now == earlier) << "the earlier installer changed";
        EXPECT_TRUE(NothingBeside(target));
    }
    {
        SCOPED_TRACE("a missing part");
        EXPECT_NE(WriteInstaller(Template().c_str(), target.c_str(), emptyManifest).step, InstallerStep::Written);
        Bytes now;
        EXPECT_TRUE(ReadWholeFile(target, &now) && now == earlier);
        EXPECT_TRUE(NothingBeside(target));
    }
    {
        SCOPED_TRACE("the target is a folder");
        const std::wstring folder = dir / L"a folder.exe";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_EQ(WriteInstaller(Template().c_str(), folder.c_str(), patch.parts).step, InstallerStep::Rename);
        EXPECT_TRUE(NothingBeside(folder));
        RemoveDirectoryW(folder.c_str());
    }
}

} // namespace
