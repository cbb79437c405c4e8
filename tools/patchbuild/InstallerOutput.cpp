// The Windows build: the template checked and the installer written by payload/InstallerImage.
#include "tools/patchbuild/InstallerOutput.h"

#include <windows.h>

#include <vector>

#include "core/LoadedPatch.h"
#include "core/PatchParts.h"
#include "payload/InstallerImage.h"
#include "tools/patchbuild/ByteSource.h"

namespace fs = std::filesystem;

namespace {

std::string TemplateProblem(TemplateCheck check) {
    switch (check) {
    case TemplateCheck::Usable: return "";
    case TemplateCheck::Unreadable: return "cannot be read";
    case TemplateCheck::NotAProgram: return "is not a Windows program (a damaged or incomplete download?)";
    case TemplateCheck::NotThisInstaller:
        return "is not a setup.exe of this patch installer (it lacks the patch, companion program or digest "
               "resources)";
    case TemplateCheck::Damaged:
        return "is damaged: its embedded patch does not match its own digest (download it again)";
    }
    return "cannot be used";
}

const char* StepProblem(InstallerStep step) {
    switch (step) {
    case InstallerStep::Copy: return "cannot copy the template beside it";
    case InstallerStep::Update: return "cannot update the resources of the copy";
    case InstallerStep::ReadBack: return "the written copy did not read back as written";
    case InstallerStep::Flush: return "cannot flush the copy to the disk";
    case InstallerStep::Rename: return "cannot put the copy in place";
    default: return "cannot write it";
    }
}

} // namespace

fs::path DefaultInstallerTemplate() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return fs::path(std::wstring(path.data(), length)).parent_path() / L"setup.exe";
        path.resize(path.size() * 2);
    }
}

bool CheckTemplate(const fs::path& templatePath, std::string* error) {
    TemplateCheck check = CheckInstallerTemplate(templatePath.c_str());
    if (check == TemplateCheck::Usable) return true;
    *error = templatePath.u8string() + ": " + TemplateProblem(check);
    return false;
}

bool CheckInstallerTarget(const fs::path& target, std::string* error) {
    std::error_code ec;
    fs::path absolute = fs::absolute(target, ec);
    // The written copy is "TARGET.part", loaded for the read back.
    size_t units = (ec ? target : absolute).native().size() + InstallerTempPath(L"").size();
    if (units < MAX_PATH) return true;
    *error = target.u8string() + ": the path is too long for the installer's check (" + std::to_string(units) +
             " characters with \".part\"; Windows loads programs from paths of at most " +
             std::to_string(MAX_PATH - 1) + "); choose a shorter folder or name";
    return false;
}

bool WriteInstallerFile(const fs::path& templatePath, const fs::path& patch, const fs::path& target,
                        std::string* error) {
    std::vector<unsigned char> bytes[kPatchPartCount];
    PatchPartBytes parts[kPatchPartCount];
    for (int part = 0; part < kPatchPartCount; ++part) {
        fs::path file = patch / kPatchParts[part].fileName;
        std::error_code ec;
        if (!fs::exists(file, ec)) {
            // The template carries all four parts and each is replaced; a patch without the
            // fingerprints or the progress total would leave the template's in place.
            *error = file.u8string() + ": missing; an installer carries all four patch files (patchbuild "
                                       "fingerprint --game ORIGINAL --patch DIR writes the last two)";
            return false;
        }
        if (!ReadWholeFile(file, &bytes[part], error)) return false;
        parts[part] = {bytes[part].data(), bytes[part].size()};
    }
    // The installer refuses at its start a patch it cannot load; so does the tool, at once.
    PatchBytes loadable;
    for (int part = 0; part < kPatchPartCount; ++part) loadable.parts[part] = parts[part];
    LoadedPatch loaded;
    PatchLoad load = LoadPatch(loadable, &loaded);
    FreeLoadedPatch(&loaded);
    if (load != PatchLoad::Loaded) {
        *error = patch.u8string() + ": the patch files do not load as the installer loads them";
        return false;
    }
    InstallerResult result = WriteInstaller(templatePath.c_str(), target.c_str(), parts);
    if (result.step == InstallerStep::Written) return true;
    if (result.step == InstallerStep::TemplateRefused) {
        *error = templatePath.u8string() + ": " + TemplateProblem(result.check);
        return false;
    }
    *error = target.u8string() + ": " + StepProblem(result.step) + " (error " + std::to_string(result.error) +
             "); an earlier file of that name is untouched";
    return false;
}
