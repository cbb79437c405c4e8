// Every Windows program and DLL the build makes, the test programs included, imports only
// system DLLs: one that needs the mingw runtime's DLLs does not load on a player's Windows, nor
// under Wine where they are not on the path (a 32-bit test DLL once failed that way unseen, on
// machines that cannot run 32-bit code). Read here, natively, so this runs on every machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "PeResources.h"

namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The built .exe and .dll files below a sub-build, CMake's own probes left out.
std::vector<fs::path> BuiltPrograms(const fs::path& root) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory() && it->path().filename() == "CMakeFiles") {
            it.disable_recursion_pending();
            continue;
        }
        std::string ext = it->path().extension().string();
        if (it->is_regular_file() && (ext == ".exe" || ext == ".dll")) found.push_back(it->path());
    }
    return found;
}

TEST(Imports, SystemDllsAreTold) {
    for (const char* name : {"KERNEL32.dll", "user32.dll", "SHELL32.DLL", "msvcrt.dll", "bcrypt.dll"})
        EXPECT_TRUE(IsSystemDll(name)) << name;
    for (const char* name : {"libgcc_s_dw2-1.dll", "libstdc++-6.dll", "libwinpthread-1.dll", "e2e_hook.dll", ""})
        EXPECT_FALSE(IsSystemDll(name)) << name;
}

TEST(Imports, EveryBuiltProgramImportsOnlySystemDlls) {
    for (const char* build : {WIN32_BUILD_DIR, WIN64_BUILD_DIR}) {
        SCOPED_TRACE(build);
        std::vector<fs::path> programs = BuiltPrograms(build);
        // The shipped programs and the test hook DLL at least: an empty walk proves nothing.
        std::vector<std::string> names;
        for (const fs::path& p : programs) names.push_back(p.filename().string());
        for (const char* needed : {"setup.exe", "KSTRLangSet.exe", "patchbuild.exe", "e2e_hook.dll", "e2e_driver.exe"})
            EXPECT_NE(std::find(names.begin(), names.end(), needed), names.end()) << needed << " not built";
        for (const fs::path& program : programs) {
            PeImage image;
            std::string error;
            ASSERT_TRUE(ReadPeImage(ReadBytes(program), &image, &error)) << program << ": " << error;
            EXPECT_FALSE(image.imports.empty()) << program << ": no import table read";
            for (const std::string& dll : image.imports)
                EXPECT_TRUE(IsSystemDll(dll)) << program << " imports " << dll;
        }
    }
}

} // namespace
