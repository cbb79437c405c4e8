// Where a window goes so that all of it can be seen (inside the screen's work area), and which
// part of a picture fills a place of other proportions. Portable.
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

// The middle part of a picture (width x height) that has the proportions of a place (placeWidth x
// placeHeight): scaled to the place, it fills it without bending the picture; what is left out
// is an even strip at two opposite edges. The whole picture for a place of its own proportions
// (or an empty one).
inline ScreenBox PartWithProportions(long width, long height, long placeWidth, long placeHeight) {
    ScreenBox part{0, 0, width, height};
    if (placeWidth <= 0 || placeHeight <= 0) return part;
    const long long wide = static_cast<long long>(width) * placeHeight; // the picture's w/h
    const long long tall = static_cast<long long>(height) * placeWidth; // against the place's
    if (wide > tall) {
        const long keep = static_cast<long>(tall / placeHeight);
        part.left = (width - keep) / 2;
        part.right = part.left + keep;
    } else if (tall > wide) {
        const long keep = static_cast<long>(wide / placeWidth);
        part.top = (height - keep) / 2;
        part.bottom = part.top + keep;
    }
    return part;
}
