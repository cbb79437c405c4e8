// The installation once the game folder is chosen: the companion program, the progress
// window, the patching run and the closing message.
#pragma once
#include "core/LoadedPatch.h"

// Installs the loaded patch into g_gameDir. A patch that did not load (load is not Loaded)
// stops it before anything is written, with one message.
void Install(const LoadedPatch& patch, PatchLoad load);
