// State shared between the installer's functions and its two threads.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

constexpr int kPathUnits = MAX_PATH; // 260 UTF-16 units including the NUL

extern HINSTANCE g_hAppInstance;
// The chosen game folder, always ending in a backslash once chosen. Written before the
// progress thread starts, read-only afterwards.
extern wchar_t g_gameDir[kPathUnits];
// Published once by the progress thread; null until then (updates then have no effect).
extern std::atomic<HWND> g_hProgressDlg;
// Sent to the progress dialog without waiting: show the path at lParam in the current-file
// text (WM_SETTEXT to IDC_CURRENT_FILE). The sender keeps the path unchanged until the
// dialog has handled the message.
constexpr UINT kShowCurrentFile = WM_APP + 1;
// Archives of the loaded manifest: set before the progress thread starts, 0 once the run is
// over, which ends the progress thread's loop.
extern std::atomic<uint32_t> g_patchSetCount;
