#include "setup/Globals.h"

HINSTANCE g_hAppInstance = nullptr;
wchar_t g_gameDir[kPathUnits] = L"";
std::atomic<HWND> g_hProgressDlg{nullptr};
std::atomic<uint32_t> g_patchSetCount{0};
