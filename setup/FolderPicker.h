// The folder-picking step of BrowseForGameFolder, kept apart so that a test build of the
// installer can answer it from a script where the shell's browser cannot run.
#pragma once
#include <windows.h>

// Shows the picker. 1 when a folder was chosen: its path (without a trailing backslash)
// is in path, or path is empty when the choice has no file-system path. 0 when cancelled.
int PickGameFolder(wchar_t* path /* kPathUnits */);
