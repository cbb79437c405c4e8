#include "setup/Globals.h"

HINSTANCE g_hAppInstance = nullptr;
wchar_t g_gameDir[kPathUnits] = L"";
std::atomic<HWND> g_hProgressDlg{nullptr};
