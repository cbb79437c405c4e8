// The shell's folder browser, starting at the desktop, with no owner.
#include "setup/FolderPicker.h"

#include <shlobj.h>

#include "setup/InstallerTexts.h"

int PickGameFolder(wchar_t* path) {
    BROWSEINFOW info{};
    info.lpszTitle = texts::kFolderBrowserTitle;
    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    if (!item) return 0;
    // Items such as the control panel have no file-system path.
    if (!SHGetPathFromIDListW(item, path)) path[0] = 0;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(item);
        allocator->Release();
    }
    return 1;
}
