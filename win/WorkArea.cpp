#include "win/WorkArea.h"

#include "core/WindowFit.h"

bool KeepInsideWorkArea(HWND window) {
    RECT placed;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetWindowRect(window, &placed) ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return false;
    const RECT& work = monitor.rcWork;
    const ScreenBox fitted = FitInside({placed.left, placed.top, placed.right, placed.bottom},
                                       {work.left, work.top, work.right, work.bottom});
    if (fitted.left == placed.left && fitted.top == placed.top) return true;
    return SetWindowPos(window, nullptr, fitted.left, fitted.top, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}
