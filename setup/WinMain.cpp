// Program entry of the installer: the patch loaded and checked, notice, folder choice,
// companion program, progress window, patching run, closing message, in this order.
#include <windows.h>

#include "payload/LoadedPatch.h"
#include "payload/Resources.h"
#include "setup/ClosingMessage.h"
#include "setup/Dialogs.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "setup/ProgressWindow.h"
#include "setup/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_hAppInstance = instance;

    // Reading the embedded patch writes nothing; the folder check needs its table.
    LoadedPatch patch;
    PatchLoad load = LoadEmbeddedPatch({IDR_MANIFEST, IDR_PAYLOAD, IDR_FINGERPRINTS}, &patch);

    // 0 is a refusal; -1 (the dialog could not be shown) ends the program the same way.
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NOTICE), nullptr, NoticeDlgProc, 0) != 1 ||
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FOLDER), nullptr, FolderDlgProc,
                        reinterpret_cast<LPARAM>(&patch)) != 1) {
        FreeLoadedPatch(&patch);
        return 0;
    }

    // Nothing has been written before this point.
    InstallOutcome outcome{};
    outcome.companionWritten = ExtractResourceToFile(g_gameDir, L"KSTRLangSet.exe", IDR_LANGSET) != 0;
    outcome.manifestLoaded = load != PatchLoad::ManifestUnusable;
    // A fingerprint table that is not well-formed is not used: no archive is checked.

    g_patchSetCount.store(patch.setCount);
    HANDLE thread = CreateThread(nullptr, 0, ProgressThreadProc, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);

    outcome.run = PatchAllArchives(patch, nullptr);
    g_patchSetCount.store(0); // the progress thread leaves its loop
    FreeLoadedPatch(&patch);

    ShowClosingMessage(outcome);
    return 0;
}
