// The game-folder dialog's banner at every display scaling.
#pragma once
#include <windows.h>

// Shows the banner at the size of its place in the dialog (which grows with the dialog's
// font): the picture as loaded at 96 DPI, the scaling it was drawn for (and wherever it is
// within a pixel of the place), else a copy stretched to the place with a smoothing filter.
// Call again after a DPI change.
void FitBannerToItsPlace(HWND dlg);
// Frees the stretched copy; call when the dialog is destroyed.
void ReleaseBanner(HWND dlg);
