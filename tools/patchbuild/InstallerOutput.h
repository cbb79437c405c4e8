// `--installer`: a finished setup.exe from a built one (the template) and a patch folder.
// On Windows through the system's resource update and SHA-256 (payload/InstallerImage.h);
// the Linux build says how to get there instead (Wine, or the build with --patch).
#pragma once
#include <filesystem>
#include <string>

// "setup.exe" in the folder of the running tool (dist/ holds both); empty where unknown.
std::filesystem::path DefaultInstallerTemplate();

// Whether the template is a setup.exe of this project whose patch is whole; *error says why
// not. Reads only.
bool CheckTemplate(const std::filesystem::path& templatePath, std::string* error);

// Whether TARGET is a path the installer can be written to and checked at: the check loads
// the written file as a program, and Windows loads programs from paths of at most 259
// characters. *error says why not.
bool CheckInstallerTarget(const std::filesystem::path& target, std::string* error);

// Writes TARGET from the template and PATCH (its four files, all needed); nothing is left
// behind and an earlier TARGET is untouched on a failure, which *error describes.
bool WriteInstallerFile(const std::filesystem::path& templatePath, const std::filesystem::path& patch,
                        const std::filesystem::path& target, std::string* error);
