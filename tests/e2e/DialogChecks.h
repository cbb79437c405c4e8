// What the installer's three dialogs must look like on screen: caption, controls in
// template order (class, id, style, text, position and size in dialog units).
#pragma once
#include <windows.h>

#include <string>

// Each fails the run on the first difference.
void CheckNoticeDialog(HWND dlg);
void CheckFolderDialog(HWND dlg);
void CheckProgressDialog(HWND dlg, const std::wstring& gameDir);

// The browser's title line above the folder tree.
void CheckBrowserTitle(HWND browser);
