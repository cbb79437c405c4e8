// The shell's folder browser, starting at the desktop, with no owner.
#include "setup/FolderPicker.h"

#include <shlobj.h>

int PickGameFolder(wchar_t* path) {
    BROWSEINFOW info{};
    info.lpszTitle = L"设定游戏所在目录";
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
