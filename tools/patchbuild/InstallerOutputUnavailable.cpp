// The Linux build of the tool cannot write an installer: there is no resource update of
// Windows programs in a well-kept Linux library, and none is written by hand here.
#include "tools/patchbuild/InstallerOutput.h"

namespace {
const char kHowTo[] =
    "writing an installer needs the Windows build of this tool: run dist/patchbuild.exe (on Linux "
    "under Wine: wine dist/patchbuild.exe ...), or embed the patch folder with "
    "scripts/build.sh --patch DIR --shipped-only";
} // namespace

std::filesystem::path DefaultInstallerTemplate() { return {}; }

bool CheckTemplate(const std::filesystem::path&, std::string* error) {
    *error = kHowTo;
    return false;
}

bool CheckInstallerTarget(const std::filesystem::path&, std::string*) { return true; }

bool WriteInstallerFile(const std::filesystem::path&, const std::filesystem::path&, const std::filesystem::path&,
                        std::string* error) {
    *error = kHowTo;
    return false;
}
