// A finished installer made from a built one: a copy of this project's setup.exe (the
// template) whose patch resources (manifest, payload, fingerprints, progress total) and their
// digest are replaced through the system's resource update; every other resource and byte
// the build made stays. The copy is written beside the target, read back and checked, and
// only then renamed over it, so a failure at any step leaves an earlier file untouched.
#pragma once
#include <windows.h>

#include <string>

#include "core/PatchParts.h"
#include "payload/PatchIntegrity.h"

// The companion program every installer of this project carries (IDR_LANGSET in setup/).
constexpr int kCompanionResourceId = 169;

enum class TemplateCheck {
    Usable,
    Unreadable,      // cannot be opened (missing, held, a folder)
    NotAProgram,     // not a Windows program (the system will not load it as one)
    NotThisInstaller, // a program without this project's resources (another program)
    Damaged,         // this project's resources, but not the ones its digest names
};

// Whether the file can serve as a template: a program whose raw-data resources include every
// part of a patch, the companion program and the digest, each once, and whose parts match
// its own digest. A template always carries all four parts, so every part is replaced and
// none has to be removed (which Wine's resource update cannot do).
TemplateCheck CheckInstallerTemplate(const wchar_t* templatePath);

enum class InstallerStep {
    Written,
    TemplateRefused, // see *check
    Copy,            // the template could not be copied beside the target
    Update,          // the resource update failed
    ReadBack,        // the written file does not carry exactly the given parts and digest
    Flush,
    Rename,
};

struct InstallerResult {
    InstallerStep step = InstallerStep::Written;
    TemplateCheck check = TemplateCheck::Usable;
    unsigned long error = 0; // GetLastError of the failed call, where there was one
};

// The temporary file beside the target that the installer is written into ("TARGET.part").
std::wstring InstallerTempPath(const wchar_t* target);

// Writes the installer: every part must be given (none may be null). On any failure the
// temporary file is removed and a file already at the target is left as it was.
InstallerResult WriteInstaller(const wchar_t* templatePath, const wchar_t* target,
                               const PatchPartBytes (&parts)[kPatchPartCount]);
