// Inside the installer's process (DriverHook.cpp): records every update of the progress dialog (folder box, current-file text, progress
// position) to the file named by KSTR_E2E_TRACE, one line each, UTF-8:
//   dir|<text>   file|<text>   pos|<position>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "DriverHook.h"

namespace {

constexpr int kProgressId = 1001, kTargetDirId = 1002, kCurrentFileId = 1005;

void Append(const wchar_t* kind, const wchar_t* text) {
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"KSTR_E2E_TRACE", path, MAX_PATH)) return;
    wchar_t line[600];
    _snwprintf(line, 599, L"%ls|%ls\n", kind, text);
    line[599] = 0;
    char utf8[1800];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8), nullptr, nullptr);
    if (bytes <= 1) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, utf8, static_cast<DWORD>(bytes - 1), &written, nullptr);
    CloseHandle(file);
}

bool InProgressDialog(HWND control) {
    wchar_t name[16] = L"";
    GetClassNameW(GetParent(control), name, 16);
    if (lstrcmpW(name, L"#32770") != 0) return false;
    return GetDlgItem(GetParent(control), kProgressId) != nullptr;
}

} // namespace

void TraceProgressUpdate(const CWPSTRUCT& call) {
    if (call.message != WM_SETTEXT && call.message != PBM_SETPOS) return;
    const int id = GetDlgCtrlID(call.hwnd);
    if (!InProgressDialog(call.hwnd)) return;
    if (call.message == WM_SETTEXT && call.lParam && (id == kTargetDirId || id == kCurrentFileId)) {
        Append(id == kTargetDirId ? L"dir" : L"file", reinterpret_cast<const wchar_t*>(call.lParam));
    } else if (call.message == PBM_SETPOS && id == kProgressId) {
        wchar_t number[24];
        _snwprintf(number, 23, L"%d", static_cast<int>(call.wParam));
        number[23] = 0;
        Append(L"pos", number);
    }
}
