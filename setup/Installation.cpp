#include "setup/Installation.h"

#include <windows.h>

#include "payload/Resources.h"
#include "setup/ClosingMessage.h"
#include "setup/Globals.h"
#include "setup/InstallerTexts.h"
#include "setup/PatchRun.h"
#include "setup/ProgressWindow.h"
#include "win/OwnedHandle.h"
#include "win/UserMessage.h"
#include "setup/resource.h"

namespace {

// A damaged installer must not leave a companion program behind that belongs to no patch,
// nor patch without the check its fingerprints were meant to make.
void ReportPatchNotLoaded(PatchLoad load) {
    const wchar_t* text = texts::kPatchDataDamaged;
    switch (load) {
    case PatchLoad::Loaded:
    case PatchLoad::ManifestUnusable:
    case PatchLoad::PayloadMissing:
    case PatchLoad::ProgressTotalMalformed:
        break;
    case PatchLoad::InstallerDamaged:
        text = texts::kInstallerDamaged;
        break;
    case PatchLoad::FingerprintsMalformed:
        text = texts::kFingerprintsDamaged;
        break;
    }
    ShowUserMessage(nullptr, text, texts::kInstallFailedCaption);
}

} // namespace

void Install(const LoadedPatch& patch, PatchLoad load) {
    if (load != PatchLoad::Loaded) {
        ReportPatchNotLoaded(load);
        return;
    }
    InstallOutcome outcome{};
    outcome.companionWritten = ExtractResourceToFile(g_gameDir, L"KSTRLangSet.exe", IDR_LANGSET) != 0;

    g_patchSetCount.store(patch.setCount);
    // The thread runs on its own; nothing waits for it, so its handle is closed at once.
    { OwnedHandle thread(CreateThread(nullptr, 0, ProgressThreadProc, nullptr, 0, nullptr)); }
    outcome.run = PatchAllArchives(patch, nullptr);
    g_patchSetCount.store(0); // the progress thread leaves its loop

    ShowClosingMessage(outcome);
}
