// The shell's folder browser, starting at the desktop, with no owner.
#include "setup/FolderPicker.h"

#include <shlobj.h>

#include "setup/InstallerTexts.h"

namespace {

// The item list the browser returns, released through the shell's allocator.
class BrowsedItemList {
public:
    explicit BrowsedItemList(LPITEMIDLIST item) : m_item(item) {}
    ~BrowsedItemList() {
        IMalloc* allocator = nullptr;
        if (m_item && SUCCEEDED(SHGetMalloc(&allocator))) {
            allocator->Free(m_item);
            allocator->Release();
        }
    }
    BrowsedItemList(const BrowsedItemList&) = delete;
    BrowsedItemList& operator=(const BrowsedItemList&) = delete;
    LPITEMIDLIST Get() const { return m_item; }

private:
    LPITEMIDLIST m_item;
};

} // namespace

int PickGameFolder(wchar_t* path) {
    BROWSEINFOW info{};
    info.lpszTitle = texts::kFolderBrowserTitle;
    BrowsedItemList item(SHBrowseForFolderW(&info));
    if (!item.Get()) return 0;
    // Items such as the control panel have no file-system path.
    if (!SHGetPathFromIDListW(item.Get(), path)) path[0] = 0;
    return 1;
}
