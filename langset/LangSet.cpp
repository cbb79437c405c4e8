// The language switcher: one dialog, two buttons, both game executables rewritten in turn.
#include <windows.h>
#include <commctrl.h>

#include "core/AnchorSearch.h"
#include "langset/PatchGameExe.h"
#include "langset/resource.h"
#include "win/WorkArea.h"

namespace {

HINSTANCE g_hInstance = nullptr;
// Set once a button has been pressed: the message boxes of that choice have no owner, so
// the dialog stays clickable behind them, and a second press must not mix the two values.
bool g_choiceMade = false;

void ApplyLanguage(HWND dlg, const unsigned char* code) {
    g_choiceMade = true;
    EnableWindow(GetDlgItem(dlg, IDC_SET_CHINESE), FALSE);
    EnableWindow(GetDlgItem(dlg, IDC_SET_ENGLISH), FALSE);
    PatchGameExe(dlg, L"Kestrune_DX9.exe", code);
    PatchGameExe(dlg, L"Kestrune_DX10.exe", code);
    EndDialog(dlg, 1);
}

} // namespace

INT_PTR CALLBACK LangSetDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        KeepInsideWorkArea(dlg); // designed at 400,300: off a small or strongly scaled screen
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SET_CHINESE || LOWORD(wParam) == IDC_SET_ENGLISH) {
            if (!g_choiceMade)
                ApplyLanguage(dlg, LOWORD(wParam) == IDC_SET_CHINESE ? kChineseCode : kEnglishCode);
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            EndDialog(dlg, 1);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    g_hInstance = instance;
    // The progress bar's window class.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_LANGSET), nullptr, LangSetDlgProc, 0);
    return 0;
}
