// Keeps a top-level window on the screen: a dialog placed in dialog units can reach past the
// work area on a small or strongly scaled display.
#pragma once
#include <windows.h>

// Moves the window inside the work area of its monitor (the nearest one) where it does not
// fit at its position; where it fits it stays. False when the monitor could not be asked.
bool KeepInsideWorkArea(HWND window);
