// Where a window goes so that all of it can be seen: inside the screen's work area. Portable.
#pragma once

struct ScreenBox {
    long left, top, right, bottom;
};

// The window's box, moved by the least distance that puts it inside the area: unchanged
// where it fits. A window larger than the area keeps its top-left corner inside it, so that
// its caption (to move it) and the start of its content stay reachable.
inline ScreenBox FitInside(ScreenBox window, ScreenBox area) {
    long dx = 0, dy = 0;
    if (window.right > area.right) dx = area.right - window.right;
    if (window.left + dx < area.left) dx = area.left - window.left;
    if (window.bottom > area.bottom) dy = area.bottom - window.bottom;
    if (window.top + dy < area.top) dy = area.top - window.top;
    return {window.left + dx, window.top + dy, window.right + dx, window.bottom + dy};
}
