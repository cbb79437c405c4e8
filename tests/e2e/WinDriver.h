// Drives another process's windows the way a user would: finds its dialogs and message
// boxes, reads their texts, presses their buttons, works the shell's folder browser and
// takes screenshots. Everything is done from outside the process but the folder browser's
// selection, which a hook of the driver's makes inside it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Prints a step of the run ("driver: ...") and flushes, so that a hanging run shows where.
void Say(const wchar_t* format, ...);

// Stops the run: prints "E2E FAIL: ...", saves a screenshot "fail", ends the program under
// test and exits with 1.
[[noreturn]] void Fail(const wchar_t* format, ...);

struct Target {
    PROCESS_INFORMATION process{};
    std::wstring shotDir; // where screenshots go; empty: none
};
extern Target g_target;

// Starts the program (an elevation request is granted by Wine; on Windows it would need a
// consent prompt). Fails the run when it does not start.
void StartTarget(const std::wstring& exe);
// True when the program has ended; *exitCode gets its code.
bool TargetEnded(DWORD* exitCode);

enum class WindowKind { None, Notice, Folder, Progress, Browser, MessageBox, OtherDialog };

struct FoundWindow {
    HWND hwnd = nullptr;
    WindowKind kind = WindowKind::None;
    std::wstring caption;
};

// Every visible top-level window of the program, classified.
std::vector<FoundWindow> TargetWindows();
std::wstring DescribeWindows(const std::vector<FoundWindow>& windows);
// Waits until a window of this kind is visible; fails the run after timeoutMs, or when the
// program ends or an unexpected message box appears meanwhile (unless kind is MessageBox).
HWND WaitForWindow(WindowKind kind, DWORD timeoutMs, const wchar_t* what);
// Waits until no window of this kind is left (the dialog closed).
void WaitForWindowGone(HWND hwnd, DWORD timeoutMs, const wchar_t* what);
void WaitForExit(DWORD timeoutMs, DWORD* exitCode);

std::wstring WindowText(HWND hwnd); // WM_GETTEXT, across processes
std::wstring ClassOf(HWND hwnd);
// The message box's text and caption.
std::wstring MessageBoxText(HWND box);

// Presses a button of a dialog (a posted BN_CLICKED, as a mouse click produces).
void PressButton(HWND dialog, int id);
// The close box (WM_SYSCOMMAND SC_CLOSE), and the Escape and Enter keys (sent to the
// control that has the keyboard focus).
void PressCloseBox(HWND dialog);
void PressEscape(HWND dialog);
void PressEnter(HWND dialog);
// The control of the dialog's thread that has the keyboard focus (null if none).
HWND FocusedControl(HWND dialog);

// The folder browser: selects a folder (a Windows path) through the driver's hook in the
// program (BrowserSelect.cpp) and checks that the tree's selection followed; false when it
// did not.
bool SelectInBrowser(HWND browser, const std::wstring& path);

// Saves the screen area around the program's visible windows as shotDir\name.bmp.
void Screenshot(const wchar_t* name);

// Dialog units to pixels for dialogs in the installer's font ("宋体", 10 points), and that
// font, to measure the dialogs' texts with (measured once).
struct DialogUnits {
    int baseX = 0, baseY = 0;
    HFONT font = nullptr;
    RECT Map(int x, int y, int w, int h) const; // left, top, width, height in pixels
};
DialogUnits MeasureDialogUnits();

// The display's scaling as this session sees it (LOGPIXELSY: 96 at 100 %).
int ScreenDpi();
// Fails the run unless all of the window lies inside the work area of its monitor.
void CheckInsideWorkArea(HWND window, const wchar_t* what);
