// Program entry of the installer: the patch loaded and checked against its digest, notice,
// folder choice, then the installation (setup/Installation.h), in this order.
#include <windows.h>

#include "core/LoadedPatch.h"
#include "payload/Resources.h"
#include "setup/Dialogs.h"
#include "setup/Globals.h"
#include "setup/Installation.h"
#include "setup/InstallerTexts.h"
#include "win/UserMessage.h"
#include "setup/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_hAppInstance = instance;

    // Reading the embedded patch writes nothing; the folder check needs its table.
    LoadedPatch patch;
    PatchLoad load = LoadEmbeddedPatch(InstallerPatchResourceIds(), &patch);
    // An installer whose data differs from what its build recorded (a download cut short or
    // damaged on its way) can be trusted with nothing: it says so at once and ends.
    if (load == PatchLoad::InstallerDamaged) {
        ShowUserMessage(nullptr, texts::kInstallerDamaged, texts::kInstallFailedCaption);
        return 0;
    }

    // 0 is a refusal; -1 (the dialog could not be shown) ends the program the same way.
    // Nothing has been written before Install.
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NOTICE), nullptr, NoticeDlgProc, 0) == 1 &&
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FOLDER), nullptr, FolderDlgProc,
                        reinterpret_cast<LPARAM>(&patch)) == 1)
        Install(patch, load);

    FreeLoadedPatch(&patch);
    return 0;
}
