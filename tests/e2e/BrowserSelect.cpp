// Inside the installer's process (DriverHook.cpp): on the driver's request (BrowserSelectRequest.h) it selects a folder in the shell's folder browser
// and reports the tree's selected item. Working from inside the process needs no writes into
// another process's memory, which do not reach a process whose 32-bit code runs under
// user-mode emulation (its addresses are not the host's).
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include "BrowserSelectRequest.h"
#include "DriverHook.h"

namespace {

// The request file's text: at most MAX_PATH - 1 units.
bool ReadText(const wchar_t* path, wchar_t* text) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD read = 0;
    const bool ok = ReadFile(file, text, (MAX_PATH - 1) * sizeof(wchar_t), &read, nullptr);
    CloseHandle(file);
    text[ok ? read / sizeof(wchar_t) : 0] = 0;
    return ok && text[0];
}

void WriteText(const wchar_t* path, const wchar_t* text) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(lstrlenW(text) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

void Select(HWND browser) {
    wchar_t requestFile[MAX_PATH], folder[MAX_PATH];
    if (!GetEnvironmentVariableW(kBrowserSelectFileVariable, requestFile, MAX_PATH)) return;
    HWND tree = FindWindowExW(browser, nullptr, L"SysTreeView32", nullptr);
    if (!tree || !ReadText(requestFile, folder)) return;
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder));
    // The message's result says nothing; the tree's selection does.
    wchar_t text[MAX_PATH] = L"";
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (item.hItem) SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    text[MAX_PATH - 1] = 0;
    WriteText(requestFile, text);
}

} // namespace

void AnswerBrowserRequest(const CWPSTRUCT& call) {
    static const UINT request = RegisterWindowMessageW(kBrowserSelectMessage);
    if (request && call.message == request) Select(call.hwnd);
}
