#include "DialogChecks.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "DialogDesigns.h"
#include "WinDriver.h"

namespace {

bool SameClass(const std::wstring& actual, const wchar_t* expected) {
    return lstrcmpiW(actual.c_str(), expected) == 0;
}

bool FitsWorkArea(const RECT& r, HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    return r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom;
}

// A designed text must show whole in its control, in the dialog's font at this scaling:
// a button's on one line inside its edges, a static text's wrapped to the control's width
// within its height.
void CheckTextFits(HWND control, const std::wstring& cls, const std::wstring& text, const DialogUnits& units,
                   const wchar_t* dialog, size_t index) {
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, units.font);
    RECT need{0, 0, client.right, 0};
    int room = client.right;
    if (SameClass(cls, L"Button")) {
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
        room -= 2 * (GetSystemMetrics(SM_CXEDGE) + 1); // the button's 3-D edge and focus frame
    } else {
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (need.right > room || need.bottom > client.bottom)
        Fail(L"%ls: control %zu (%ls) cuts its text off: it needs %ldx%ld pixels, has %dx%ld", dialog, index,
             cls.c_str(), need.right, need.bottom, room, client.bottom);
}

void CheckDialog(HWND dlg, const DialogDesign& design) {
    const std::wstring caption = WindowText(dlg);
    if (caption != design.caption) Fail(L"%ls: caption \"%ls\"", design.name, caption.c_str());
    const LONG style = GetWindowLongW(dlg, GWL_STYLE);
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    if ((style & frame) != frame || !(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME))
        Fail(L"%ls: window style %08lx is not a visible popup with caption, system menu and modal frame",
             design.name, static_cast<unsigned long>(style));

    const DialogUnits units = MeasureDialogUnits();
    if (!units.baseX) Fail(L"cannot measure the dialog font");
    const RECT place = units.Map(design.x, design.y, design.w, design.h);
    // The template places the client area (the frame and caption lie outside it).
    RECT client;
    GetClientRect(dlg, &client);
    POINT origin{0, 0};
    ClientToScreen(dlg, &origin);
    CheckInsideWorkArea(dlg, design.name);
    // The designed place stands wherever the window fits there; else it is moved inside.
    RECT designed;
    GetWindowRect(dlg, &designed);
    OffsetRect(&designed, place.left - origin.x, place.top - origin.y);
    const bool fits = FitsWorkArea(designed, dlg);
    if (fits && (origin.x != place.left || origin.y != place.top))
        Fail(L"%ls: client area at %ld,%ld pixels, not %ld,%ld (%d,%d dialog units)", design.name, origin.x,
             origin.y, place.left, place.top, design.x, design.y);
    if (!fits)
        Say(L"%ls: at its designed place it would reach past the work area; shown at %ld,%ld instead",
            design.name, origin.x, origin.y);
    if (client.right != place.right || client.bottom != place.bottom)
        Fail(L"%ls: client area %ldx%ld pixels, not %ldx%ld (%dx%d dialog units)", design.name,
             client.right, client.bottom, place.right, place.bottom, design.w, design.h);

    HWND child = GetWindow(dlg, GW_CHILD);
    for (size_t i = 0; i < design.controls.size(); ++i, child = GetWindow(child, GW_HWNDNEXT)) {
        const ControlDesign& c = design.controls[i];
        if (!child) Fail(L"%ls: control %zu is missing", design.name, i + 1);
        const std::wstring cls = ClassOf(child);
        const int id = static_cast<int>(GetWindowLongPtrW(child, GWLP_ID)) & 0xFFFF;
        if (!SameClass(cls, c.className) || id != c.id)
            Fail(L"%ls: control %zu is %ls %d, not %ls %d", design.name, i + 1, cls.c_str(), id,
                 c.className, c.id);
        const DWORD childStyle = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        if ((childStyle & c.styleMask) != c.style)
            Fail(L"%ls: control %zu (%ls %d) style %08lx, expected %08lx under mask %08lx", design.name,
                 i + 1, cls.c_str(), id, static_cast<unsigned long>(childStyle),
                 static_cast<unsigned long>(c.style), static_cast<unsigned long>(c.styleMask));
        const std::wstring text = WindowText(child);
        if ((c.match == kExact && text != c.text) ||
            (c.match == kContains && text.find(c.text) == std::wstring::npos))
            Fail(L"%ls: control %zu (%ls %d) text \"%ls\"", design.name, i + 1, cls.c_str(), id, text.c_str());
        if (c.match != kAny) CheckTextFits(child, cls, text, units, design.name, i + 1);
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        const RECT want = units.Map(c.x, c.y, c.w, c.h);
        bool placed = r.left == want.left && r.top == want.top;
        if (c.style != SS_BITMAP) placed = placed && r.right - r.left == want.right && r.bottom - r.top == want.bottom;
        if (!placed)
            Fail(L"%ls: control %zu (%ls %d) at %ld,%ld size %ldx%ld pixels; expected %ld,%ld size %ldx%ld",
                 design.name, i + 1, cls.c_str(), id, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 want.left, want.top, want.right, want.bottom);
    }
    if (child) Fail(L"%ls: has more controls than %zu", design.name, design.controls.size());
    Say(L"%ls: caption, %zu controls, styles, texts%ls as designed", design.name, design.controls.size(),
        L" (each shown whole), layout inside the work area");
}

// The pixels on the screen: no blank band of the dialog's face colour along the place's
// bottom row or right column (where a picture smaller than its place leaves one). The place
// reaches the dialog's right edge in the template, so rounding can put its last column
// outside the client area: only what lies inside is looked at.
void CheckBannerFillsItsPlace(HWND dlg, const RECT& place) {
    RECT client;
    GetClientRect(dlg, &client);
    POINT origin{place.left, place.top};
    const int width = std::min<int>(place.right, client.right - place.left);
    const int height = std::min<int>(place.bottom, client.bottom - place.top);
    ClientToScreen(dlg, &origin);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP shot = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{sizeof(info), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    const int rows = GetDIBits(memory, shot, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                               DIB_RGB_COLORS);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) Fail(L"game-folder dialog: cannot read the banner's pixels from the screen");
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    const DWORD faceBgr = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    auto blank = [&](int x, int y) { return (pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF) == faceBgr; };
    int blankBottom = 0, blankRight = 0;
    for (int x = 0; x < width; ++x) blankBottom += blank(x, height - 1);
    for (int y = 0; y < height; ++y) blankRight += blank(width - 1, y);
    if (blankBottom * 10 > width || blankRight * 10 > height)
        Fail(L"game-folder dialog: the banner leaves its place blank: %d of %d pixels of its bottom row and "
             L"%d of %d of its right column show the dialog's face colour",
             blankBottom, width, blankRight, height);
}

HWND NthChild(HWND dlg, int n) {
    HWND child = GetWindow(dlg, GW_CHILD);
    while (child && n-- > 0) child = GetWindow(child, GW_HWNDNEXT);
    return child;
}

} // namespace

void CheckNoticeDialog(HWND dlg) {
    CheckDialog(dlg, kNotice);
    // The three paragraphs of terms.
    const std::wstring notice = WindowText(NthChild(dlg, 2));
    for (const wchar_t* part : {L"不承担任何责任", L"不得用于商业用途", L"支持正版"})
        if (notice.find(part) == std::wstring::npos) Fail(L"notice: text lacks \"%ls\"", part);
}

void CheckFolderDialog(HWND dlg) {
    CheckDialog(dlg, kFolder);
    HWND picture = NthChild(dlg, 2);
    DWORD_PTR image = 0;
    SendMessageTimeoutW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG, 5000, &image);
    // At 96 DPI, the scaling it was drawn for, the banner is shown as loaded; elsewhere it
    // is drawn at its place's size and fills it.
    const ControlDesign& c = kFolder.controls[2];
    const RECT place = MeasureDialogUnits().Map(c.x, c.y, c.w, c.h);
    const bool asLoaded = ScreenDpi() == 96 || (std::abs(place.right - 640) <= 1 && std::abs(place.bottom - 316) <= 1);
    const long wantW = asLoaded ? 640 : place.right, wantH = asLoaded ? 316 : place.bottom;
    RECT r;
    GetWindowRect(picture, &r);
    if (!image || r.right - r.left != wantW || r.bottom - r.top != wantH)
        Fail(L"game-folder dialog: the banner is not shown at %ldx%ld (image %p, %ldx%ld)", wantW, wantH,
             reinterpret_cast<void*>(image), r.right - r.left, r.bottom - r.top);
    if (!asLoaded) CheckBannerFillsItsPlace(dlg, place);
    Say(L"game-folder dialog: banner shown at %ldx%ld pixels (%ls)", wantW, wantH,
        asLoaded ? L"as loaded" : L"stretched to its place, filling it");
}

void CheckProgressDialog(HWND dlg, const std::wstring& gameDir) {
    CheckDialog(dlg, kProgress);
    // The folder box is bordered in the template; on screen the border may have become a 3-D
    // edge. (The progress bar draws its own frame whatever its style says.)
    for (int id : {1002}) {
        HWND control = GetDlgItem(dlg, id);
        const DWORD border = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)) & WS_BORDER;
        const DWORD edge = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE)) &
                           (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
        if (!border && !edge)
            Fail(L"progress dialog: control %d has no border (style %08lx, extended style %08lx)", id,
                 static_cast<unsigned long>(GetWindowLongW(control, GWL_STYLE)),
                 static_cast<unsigned long>(GetWindowLongW(control, GWL_EXSTYLE)));
    }
    HWND edit = GetDlgItem(dlg, 1002);
    const std::wstring shown = WindowText(edit);
    if (shown != gameDir)
        Fail(L"progress dialog: folder box shows \"%ls\", not \"%ls\"", shown.c_str(), gameDir.c_str());
    Say(L"progress dialog: shows the game folder %ls", shown.c_str());
}

void CheckBrowserTitle(HWND browser) {
    for (HWND child = GetWindow(browser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (WindowText(child) == L"设定游戏所在目录") return;
    Fail(L"folder browser: no title \"设定游戏所在目录\"");
}
