// The notice and game-folder dialogs and the checks behind the folder choice.
#pragma once
#include <windows.h>

enum GameFolderCheck {
    kGameFolderValid,
    kGameFolderNotGame,   // the marker file is missing (no message shown yet)
    kGameFolderNoSpace,   // too little free space, or it could not be asked (message shown)
    kGameFolderTooLong,   // some composed path would not fit (message shown)
};

INT_PTR CALLBACK NoticeDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);
// The dialog's parameter (lParam of WM_INITDIALOG) points to the loaded patch, whose longest
// archive name the folder check needs.
INT_PTR CALLBACK FolderDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);

// Lets the user pick a folder; on a choice g_gameDir holds it with a trailing backslash
// (empty when the choice has no file-system path) and the result is 1. 0 when the browser
// was cancelled, after telling the user so.
int BrowseForGameFolder();

// Checks g_gameDir: the marker file first, then the length of every path composed from it
// (the longest archive name given in UTF-16 units, without the NUL), then the volume's free
// space.
GameFolderCheck CheckGameFolder(size_t longestArchiveNameUnits);
