#include "setup/ProgressWindow.h"

#include <commctrl.h>

#include "setup/Globals.h"
#include "setup/resource.h"
#include "win/WorkArea.h"

DWORD WINAPI ProgressThreadProc(LPVOID) {
    // Windows registers the progress bar class only on request.
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);

    HWND dlg = CreateDialogParamW(g_hAppInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr,
                                  ProgressDlgProc, 0);
    g_hProgressDlg.store(dlg);
    ShowWindow(dlg, SW_SHOWNORMAL);

    // The main thread's updates are sent messages, handled inside GetMessageW; the count
    // drops to 0 when the run is over, and the next returned message ends the loop.
    MSG message;
    while (g_patchSetCount.load() > 0) {
        if (GetMessageW(&message, nullptr, 0, 0) == -1) break;
        if (!IsDialogMessageW(dlg, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    g_hProgressDlg.store(nullptr);
    DestroyWindow(dlg);
    return 0;
}

INT_PTR CALLBACK ProgressDlgProc(HWND dlg, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageW(dlg, IDC_TARGET_DIR, WM_SETTEXT, kPathUnits,
                            reinterpret_cast<LPARAM>(g_gameDir));
        KeepInsideWorkArea(dlg);
        return TRUE;
    }
    if (message == kShowCurrentFile) {
        SendDlgItemMessageW(dlg, IDC_CURRENT_FILE, WM_SETTEXT, kPathUnits, lParam);
        return TRUE;
    }
    // No buttons; close requests (close box, Escape) are ignored.
    return FALSE;
}
