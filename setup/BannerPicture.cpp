#include "setup/BannerPicture.h"

#include <cstdlib>

#ifndef USER_DEFAULT_SCREEN_DPI
#define USER_DEFAULT_SCREEN_DPI 96
#endif

#include "core/WindowFit.h"
#include "setup/Globals.h"
#include "setup/resource.h"

namespace {

// The picture this file set into the control (the control's own, loaded from the template,
// is never ours); null while the control shows its own.
HBITMAP g_shown = nullptr;

// The scaling the dialog is drawn at: its monitor's where Windows tells it (10, 1607 on),
// else the system's.
UINT DialogDpi(HWND dlg) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow) return dpiForWindow(dlg);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

HWND BannerControl(HWND dlg) {
    for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) return child;
    return nullptr;
}

// A copy of the picture at width x height, filtered (HALFTONE averages the source pixels
// that fall on each target pixel instead of dropping or repeating whole rows).
HBITMAP Stretched(HBITMAP picture, const BITMAP& size, int width, int height) {
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP copy = CreateCompatibleBitmap(screen, width, height);
    bool drawn = false;
    if (from && to && copy) {
        HGDIOBJ oldFrom = SelectObject(from, picture);
        HGDIOBJ oldTo = SelectObject(to, copy);
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        // Scaled alike in both directions: a round moon stays round.
        const ScreenBox part = PartWithProportions(size.bmWidth, size.bmHeight, width, height);
        drawn = StretchBlt(to, 0, 0, width, height, from, part.left, part.top, part.right - part.left,
                           part.bottom - part.top, SRCCOPY) != FALSE;
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    if (to) DeleteDC(to);
    if (from) DeleteDC(from);
    ReleaseDC(nullptr, screen);
    if (!drawn && copy) {
        DeleteObject(copy);
        copy = nullptr;
    }
    return copy;
}

void Show(HWND banner, HBITMAP picture) {
    SendMessageW(banner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    if (g_shown) DeleteObject(g_shown);
    g_shown = picture;
}

} // namespace

void FitBannerToItsPlace(HWND dlg) {
    HWND banner = BannerControl(dlg);
    if (!banner) return;
    // The size alone, as the dialog sizes its controls (mapping the corners would round twice).
    RECT place{0, 0, BANNER_W, BANNER_H};
    if (!MapDialogRect(dlg, &place)) return;
    const int width = place.right, height = place.bottom;

    // Always from the picture as designed, never from an earlier stretched copy.
    HBITMAP designed = static_cast<HBITMAP>(
        LoadImageW(g_hAppInstance, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP size{};
    if (!designed || !GetObjectW(designed, sizeof(size), &size)) {
        if (designed) DeleteObject(designed);
        return; // the control keeps what it shows
    }
    // At 96 DPI, the scaling it was drawn for, the picture is shown as designed.
    if (DialogDpi(dlg) == USER_DEFAULT_SCREEN_DPI ||
        (std::abs(width - size.bmWidth) <= 1 && std::abs(height - size.bmHeight) <= 1)) {
        if (g_shown) Show(banner, designed); // back from a scaled display
        else DeleteObject(designed);         // the control already shows it as loaded
        return;
    }
    HBITMAP fitted = Stretched(designed, size, width, height);
    DeleteObject(designed);
    if (fitted) Show(banner, fitted); // the control takes the picture's size
}

void ReleaseBanner(HWND dlg) {
    if (!g_shown) return;
    if (HWND banner = BannerControl(dlg)) SendMessageW(banner, STM_SETIMAGE, IMAGE_BITMAP, 0);
    DeleteObject(g_shown);
    g_shown = nullptr;
}
