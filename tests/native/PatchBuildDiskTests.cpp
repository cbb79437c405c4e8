// patchbuild build on a real, nearly full file system: a disk that holds the new payload but
// not the manifest must leave the previous patch exactly as it was. The fixture mounts a small
// tmpfs (tests/reliability/smallfs.sh) and names it in KSTR_SMALLFS; where mounting is not
// allowed the test reports a skip (OutputSet's rename seam tests in PatchBuildTests cover
// the rest of the commit).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <map>

#include "ArchiveSamples.h"
#include "tools/patchbuild/PatchBuild.h"

namespace fs = std::filesystem;

namespace {

bool IsMountPoint(const fs::path& dir) {
    struct stat here {}, parent {};
    return stat(dir.c_str(), &here) == 0 && stat(dir.parent_path().c_str(), &parent) == 0 &&
           here.st_dev != parent.st_dev;
}

std::map<std::string, Bytes> FolderBytes(const fs::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = ReadFileBytes(e.path());
    return files;
}

// The previous patch replaced one small entry; in the next one an entry is large enough that
// the payload takes every block left, so the manifest's buffered bytes find no room when they
// are written at its close. The previous files are held open meanwhile (as a build embedding
// them or a backup may hold them), so replacing one of them frees no room either.
TEST(PatchBuildOnAFullDisk, APayloadThatFitsBesideAManifestThatDoesNotLeavesThePreviousSet) {
    const char* small = std::getenv("KSTR_SMALLFS");
    if (!small || !IsMountPoint(small))
        GTEST_SKIP() << "no small file system mounted (KSTR_SMALLFS; mounting needs root)";
    const fs::path out = fs::path(small) / "patch";
    const fs::path root = fs::temp_directory_path() / ("patchbuild_disk_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::remove_all(out);
    constexpr int kArchives = 3;
    constexpr size_t kSmallEntry = 10;
    std::vector<std::string> names;
    std::vector<SampleArchive> originals;
    for (int k = 0; k < kArchives; ++k) {
        names.push_back("nativePC\\rom_pc\\stage\\area" + std::to_string(100 + k) + "\\scene_messages.arc");
        originals.push_back(MakeSample(3, uint32_t(k + 1), "s" + std::to_string(k)));
        WriteFileBytes(DiskPathOf(root / "original", names[k]), BuildSample(originals[k]));
    }
    auto translate = [&](int k, size_t length, uint32_t seed) {
        SampleArchive t = originals[k];
        t.entries[1].data = Noise(length, seed);
        WriteFileBytes(DiskPathOf(root / "translated", names[k]), BuildSample(t));
    };
    translate(0, kSmallEntry, 1000);
    BuildOptions options;
    options.original = root / "original";
    options.translated = root / "translated";
    options.out = out;
    BuildReport report;
    ASSERT_TRUE(BuildPatch(options, &report)) << (report.problems.empty() ? "" : report.problems[0]);
    const std::map<std::string, Bytes> before = FolderBytes(out);
    ASSERT_GE(before.size(), 3u);

    std::vector<std::unique_ptr<std::FILE, int (*)(std::FILE*)>> held;
    for (const auto& [file, bytes] : before)
        held.emplace_back(std::fopen((out / file).c_str(), "rb"), std::fclose);
    struct statvfs fsInfo {};
    ASSERT_EQ(statvfs(out.c_str(), &fsInfo), 0);
    const uint64_t room = uint64_t(fsInfo.f_bavail) * fsInfo.f_frsize;
    ASSERT_GT(room, 200000u) << "the small file system is too full to start with";
    for (int k = 1; k < kArchives; ++k) translate(k, kSmallEntry, 2000 + k);
    translate(0, size_t(room - 100 - (kArchives - 1) * kSmallEntry), 3000);
    BuildReport full;
    EXPECT_FALSE(BuildPatch(options, &full));

    ASSERT_EQ(full.problems.size(), 1u);
    EXPECT_NE(full.problems[0].find("No space left on device"), std::string::npos) << full.problems[0];
    EXPECT_TRUE(FolderBytes(out) == before) << "the previous patch changed, or new files were left beside it";
    held.clear();

    fs::remove_all(out);
    fs::remove_all(root);
}

} // namespace
