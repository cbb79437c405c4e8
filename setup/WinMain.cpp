// Program entry of the installer.
#include <windows.h>

#include "payload/PatchManifest.h"
#include "payload/Resources.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "setup/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_hAppInstance = instance;
    return 0;
}
