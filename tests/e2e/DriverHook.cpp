// The window-procedure hook (WH_CALLWNDPROC) that the test driver places, from e2e_hook.dll,
// into the installer's process. One hook does both jobs: under Wine, two hooks of one module
// each saw every message twice.
#include "DriverHook.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK DriverHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        TraceProgressUpdate(call);
        AnswerBrowserRequest(call);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
