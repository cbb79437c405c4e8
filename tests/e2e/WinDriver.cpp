#include "WinDriver.h"

#include "BrowserSelectRequest.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

Target g_target;

namespace {

const wchar_t kNoticeCaption[] = L"Kestrune汉化补丁安装程序 V1.2";
const wchar_t kMainCaption[] = L"Kestrune汉化补丁安装程序";
constexpr int kMessageTextId = 0xFFFF;

void PrintUtf8(FILE* stream, const wchar_t* prefix, const wchar_t* format, va_list args) {
    wchar_t line[4096];
    _vsnwprintf(line, 4095, format, args);
    line[4095] = 0;
    std::wstring all = std::wstring(prefix) + line + L"\n";
    int bytes = WideCharToMultiByte(CP_UTF8, 0, all.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, all.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    fputs(out.c_str(), stream);
    fflush(stream);
}

HWND ChildWithId(HWND parent, int id) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongPtrW(child, GWLP_ID) == id) return child;
    return nullptr;
}

WindowKind Classify(HWND hwnd, const std::wstring& caption) {
    if (ClassOf(hwnd) != L"#32770") return WindowKind::None;
    if (caption == kNoticeCaption) return WindowKind::Notice;
    if (caption == kMainCaption) {
        HWND bar = ChildWithId(hwnd, 1001);
        return bar && ClassOf(bar) == L"msctls_progress32" ? WindowKind::Progress : WindowKind::Folder;
    }
    if (FindWindowExW(hwnd, nullptr, L"SysTreeView32", nullptr)) return WindowKind::Browser;
    // Every window of the installer has a caption: one without is still being built (the
    // folder browser before its tree, a message box before its caption) and is looked at again.
    if (caption.empty()) return WindowKind::None;
    if (ChildWithId(hwnd, kMessageTextId) && ChildWithId(hwnd, IDOK)) return WindowKind::MessageBox;
    return WindowKind::OtherDialog;
}

struct EnumState {
    DWORD pid;
    std::vector<FoundWindow>* out;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != state->pid || !IsWindowVisible(hwnd)) return TRUE;
    FoundWindow found;
    found.hwnd = hwnd;
    found.caption = WindowText(hwnd);
    found.kind = Classify(hwnd, found.caption);
    if (found.kind != WindowKind::None) state->out->push_back(found);
    return TRUE;
}

const wchar_t* KindName(WindowKind kind) {
    switch (kind) {
    case WindowKind::Notice: return L"notice";
    case WindowKind::Folder: return L"game-folder dialog";
    case WindowKind::Progress: return L"progress dialog";
    case WindowKind::Browser: return L"folder browser";
    case WindowKind::MessageBox: return L"message box";
    case WindowKind::OtherDialog: return L"dialog";
    default: return L"window";
    }
}

bool WriteBmp(const std::wstring& path, HBITMAP bitmap, int width, int height) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD row = (width * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(row * height);
    HDC dc = GetDC(nullptr);
    int lines = GetDIBits(dc, bitmap, 0, height, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (lines != height) return false;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, &header, sizeof(header), &written, nullptr) &&
              WriteFile(file, &info, sizeof(info), &written, nullptr) &&
              WriteFile(file, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    CloseHandle(file);
    return ok;
}

} // namespace

void Say(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PrintUtf8(stdout, L"driver: ", format, args);
    va_end(args);
}

void Fail(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PrintUtf8(stdout, L"E2E FAIL: ", format, args);
    va_end(args);
    if (g_target.process.hProcess) {
        Say(L"windows at the failure: %ls", DescribeWindows(TargetWindows()).c_str());
        Screenshot(L"fail");
        TerminateProcess(g_target.process.hProcess, 99);
    }
    ExitProcess(1);
}

void StartTarget(const std::wstring& exe) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &g_target.process))
        Fail(L"cannot start %ls (error %lu)", exe.c_str(), GetLastError());
    Say(L"started %ls (process %lu)", exe.c_str(), g_target.process.dwProcessId);
}

bool TargetEnded(DWORD* exitCode) {
    if (WaitForSingleObject(g_target.process.hProcess, 0) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(g_target.process.hProcess, exitCode);
    return true;
}

std::vector<FoundWindow> TargetWindows() {
    std::vector<FoundWindow> windows;
    EnumState state{g_target.process.dwProcessId, &windows};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return windows;
}

std::wstring DescribeWindows(const std::vector<FoundWindow>& windows) {
    std::wstring text;
    for (const FoundWindow& w : windows) {
        if (!text.empty()) text += L"; ";
        text += KindName(w.kind);
        text += L" \"" + w.caption + L"\"";
        if (w.kind == WindowKind::MessageBox) text += L": " + MessageBoxText(w.hwnd);
    }
    return text.empty() ? L"none" : text;
}

HWND WaitForWindow(WindowKind kind, DWORD timeoutMs, const wchar_t* what) {
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<FoundWindow> windows = TargetWindows();
        for (const FoundWindow& w : windows)
            if (w.kind == kind) {
                Sleep(150); // let it finish painting
                CheckInsideWorkArea(w.hwnd, what);
                return w.hwnd;
            }
        if (kind != WindowKind::MessageBox)
            for (const FoundWindow& w : windows)
                if (w.kind == WindowKind::MessageBox)
                    Fail(L"waiting for %ls, an unexpected message box appeared: \"%ls\": %ls", what,
                         w.caption.c_str(), MessageBoxText(w.hwnd).c_str());
        DWORD code = 0;
        if (TargetEnded(&code)) Fail(L"waiting for %ls, the program ended (exit code %lu)", what, code);
        if (GetTickCount() - start > timeoutMs)
            Fail(L"%ls did not appear within %lu ms; windows: %ls", what, timeoutMs,
                 DescribeWindows(windows).c_str());
        Sleep(20);
    }
}

void WaitForWindowGone(HWND hwnd, DWORD timeoutMs, const wchar_t* what) {
    const DWORD start = GetTickCount();
    while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
        if (GetTickCount() - start > timeoutMs) Fail(L"%ls did not close within %lu ms", what, timeoutMs);
        Sleep(20);
    }
}

void WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (WaitForSingleObject(g_target.process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        Fail(L"the program did not end within %lu ms; windows: %ls", timeoutMs,
             DescribeWindows(TargetWindows()).c_str());
    GetExitCodeProcess(g_target.process.hProcess, exitCode);
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[2048] = L"";
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &result))
        return L"";
    text[2047] = 0;
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = L"";
    GetClassNameW(hwnd, name, 128);
    return name;
}

std::wstring MessageBoxText(HWND box) {
    HWND text = ChildWithId(box, kMessageTextId);
    return text ? WindowText(text) : L"";
}

void PressButton(HWND dialog, int id) {
    HWND button = ChildWithId(dialog, id);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void PressCloseBox(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

HWND FocusedControl(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

namespace {
void PressKey(HWND dialog, WPARAM key) {
    // The dialog's message loop hands keys to IsDialogMessage, which turns Escape into
    // IDCANCEL and Enter into a press of the focused (or default) button.
    HWND target = FocusedControl(dialog);
    if (!target || !IsChild(dialog, target)) target = dialog;
    PostMessageW(target, WM_KEYDOWN, key, 0x00000001);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}
} // namespace

void PressEscape(HWND dialog) { PressKey(dialog, VK_ESCAPE); }
void PressEnter(HWND dialog) { PressKey(dialog, VK_RETURN); }

bool SelectInBrowser(HWND browser, const std::wstring& path) {
    if (!FindWindowExW(browser, nullptr, L"SysTreeView32", nullptr)) return false;
    // The browser takes the path only from its own process's memory: the driver's hook there
    // (BrowserSelect.cpp) selects it on this request and writes the tree's selection back.
    wchar_t file[MAX_PATH];
    if (!GetEnvironmentVariableW(kBrowserSelectFileVariable, file, MAX_PATH))
        Fail(L"the folder browser is worked through the driver's hook: give hook=DLL");
    HANDLE request = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const DWORD bytes = static_cast<DWORD>(path.size() * sizeof(wchar_t));
    const bool asked = request != INVALID_HANDLE_VALUE && WriteFile(request, path.c_str(), bytes, &written, nullptr) &&
                       written == bytes;
    if (request != INVALID_HANDLE_VALUE) CloseHandle(request);
    if (!asked) Fail(L"cannot write the browser request %ls (error %lu)", file, GetLastError());
    DWORD_PTR result = 0;
    SendMessageTimeoutW(browser, RegisterWindowMessageW(kBrowserSelectMessage), 0, 0, SMTO_ABORTIFHUNG, 10000,
                        &result);
    std::wstring text;
    HANDLE reply = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (reply != INVALID_HANDLE_VALUE) {
        wchar_t buffer[MAX_PATH] = L"";
        DWORD read = 0;
        if (ReadFile(reply, buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr))
            text.assign(buffer, read / sizeof(wchar_t));
        CloseHandle(reply);
    }
    // The selected item shows the folder's own name (the file still holding the request
    // means the hook did not answer).
    std::wstring leaf = path;
    while (!leaf.empty() && leaf.back() == L'\\') leaf.pop_back();
    leaf = leaf.substr(leaf.find_last_of(L'\\') + 1);
    const bool selected = !text.empty() && leaf == text;
    if (!selected) Say(L"browser selection is \"%ls\", not \"%ls\"", text.c_str(), leaf.c_str());
    return selected;
}

void Screenshot(const wchar_t* name) {
    if (g_target.shotDir.empty()) return;
    RECT area{};
    bool any = false;
    for (const FoundWindow& w : TargetWindows()) {
        RECT r;
        GetWindowRect(w.hwnd, &r);
        if (!any) area = r;
        else UnionRect(&area, &area, &r);
        any = true;
    }
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    if (!any) area = RECT{0, 0, screenW, screenH};
    InflateRect(&area, 12, 12);
    if (area.left < 0) area.left = 0;
    if (area.top < 0) area.top = 0;
    if (area.right > screenW) area.right = screenW;
    if (area.bottom > screenH) area.bottom = screenH;
    const int width = area.right - area.left, height = area.bottom - area.top;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, old);
    std::wstring path = g_target.shotDir + L"\\" + name + L".bmp";
    bool saved = copied && WriteBmp(path, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (saved) Say(L"screenshot %ls.bmp", name);
    else Say(L"screenshot %ls failed", name);
}

RECT DialogUnits::Map(int x, int y, int w, int h) const {
    return RECT{MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(w, baseX, 4), MulDiv(h, baseY, 8)};
}

DialogUnits MeasureDialogUnits() {
    static DialogUnits measured;
    if (measured.baseX) return measured;
    // A hidden dialog in the installer's font gives the same base units as its dialogs.
    alignas(4) unsigned char buffer[256] = {};
    auto* dlg = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dlg->style = WS_POPUP | WS_CAPTION | DS_SETFONT | DS_MODALFRAME;
    dlg->cx = 100;
    dlg->cy = 100;
    auto* words = reinterpret_cast<WORD*>(dlg + 1);
    *words++ = 0; // menu
    *words++ = 0; // class
    *words++ = 0; // title
    *words++ = 10;
    const wchar_t face[] = L"宋体";
    memcpy(words, face, sizeof(face));
    HWND probe = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dlg, nullptr, nullptr, 0);
    DialogUnits units;
    if (probe) {
        RECT r{0, 0, 4, 8};
        MapDialogRect(probe, &r);
        units.baseX = r.right;
        units.baseY = r.bottom;
        // A copy of its font outlives it.
        LOGFONTW font{};
        auto shown = reinterpret_cast<HFONT>(SendMessageW(probe, WM_GETFONT, 0, 0));
        if (shown && GetObjectW(shown, sizeof(font), &font)) units.font = CreateFontIndirectW(&font);
        DestroyWindow(probe);
    }
    if (units.font) measured = units;
    return units;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void CheckInsideWorkArea(HWND window, const wchar_t* what) {
    RECT r;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetWindowRect(window, &r) ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        Fail(L"%ls: cannot read its place or its monitor", what);
    const RECT& work = monitor.rcWork;
    if (r.left < work.left || r.top < work.top || r.right > work.right || r.bottom > work.bottom)
        Fail(L"%ls: window at %ld,%ld-%ld,%ld reaches outside the work area %ld,%ld-%ld,%ld", what, r.left, r.top,
             r.right, r.bottom, work.left, work.top, work.right, work.bottom);
}
