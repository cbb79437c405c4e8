// Program entry of the installer: notice, folder choice, companion program, manifest,
// progress window, patching run, closing message, in this order.
#include <windows.h>

#include "payload/FingerprintResource.h"
#include "payload/PatchManifest.h"
#include "payload/Resources.h"
#include "setup/ClosingMessage.h"
#include "setup/Dialogs.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "setup/ProgressWindow.h"
#include "setup/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_hAppInstance = instance;

    // 0 is a refusal; -1 (the dialog could not be shown) ends the program the same way.
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NOTICE), nullptr, NoticeDlgProc, 0) != 1)
        return 0;
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FOLDER), nullptr, FolderDlgProc, 0) != 1)
        return 0;

    // Nothing has been written before this point.
    InstallOutcome outcome{};
    outcome.companionWritten = ExtractResourceToFile(g_gameDir, L"KSTRLangSet.exe", IDR_LANGSET) != 0;
    outcome.manifestLoaded = LoadPatchManifest(IDR_MANIFEST) != 0;
    // Without fingerprints (a patch built without them) no archive is checked.
    LoadFingerprints(IDR_FINGERPRINTS);
    uint32_t payloadSize = 0;
    const unsigned char* payload = GetPayloadData(IDR_PAYLOAD, &payloadSize);

    HANDLE thread = CreateThread(nullptr, 0, ProgressThreadProc, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);

    outcome.run = PatchAllArchives(payload, payloadSize, nullptr);
    FreePatchManifest(); // the count drops to 0: the progress thread leaves its loop
    FreeFingerprints();

    ShowClosingMessage(outcome);
    return 0;
}
