// The notice dialog: agree (1) or disagree (0); Escape and the close box disagree.
#include "setup/Dialogs.h"

#include "win/WorkArea.h"

INT_PTR CALLBACK NoticeDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        KeepInsideWorkArea(dlg);
        return TRUE; // focus goes to the first button, "同意"
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            EndDialog(dlg, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
