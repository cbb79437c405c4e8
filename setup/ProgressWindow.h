// The progress window: a modeless dialog on a thread of its own, alive while the manifest
// table holds archives.
#pragma once
#include <windows.h>

DWORD WINAPI ProgressThreadProc(LPVOID);
INT_PTR CALLBACK ProgressDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);
