// The game-folder dialog: "下一步" opens the folder browser until a folder passes the
// checks (result 1) or the browser is cancelled; "取消", Escape and the close box end it
// with 0.
#include "setup/Dialogs.h"

#include "core/LoadedPatch.h"
#include "setup/BannerPicture.h"
#include "setup/FolderPicker.h"
#include "core/GameFolderRules.h"
#include "setup/Globals.h"
#include "setup/InstallerTexts.h"
#include "win/OwnedHandle.h"
#include "win/UserMessage.h"
#include "win/WorkArea.h"
#include "setup/resource.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

// Posted after a move to a monitor of another scaling, once the dialog has been rescaled.
constexpr UINT kFitBanner = WM_APP + 1;

const wchar_t kMarkerFile[] = L"nativePC\\rom\\demo\\m01_100s.arc";
static_assert(sizeof(kMarkerFile) / sizeof(wchar_t) - 1 == kMarkerNameUnits, "marker length");

// The browser and its messages have no owner, so the dialog stays usable while they are
// up: a second "下一步" must not start a loop inside the loop, and a "取消" pressed
// meanwhile must not be overridden by a folder chosen afterwards.
bool g_browsing = false;
bool g_cancelled = false;
// From the loaded patch, while the dialog is up; 0 when no manifest could be loaded (then
// nothing would be patched).
size_t g_longestArchiveNameUnits = 0;

void ReportPathTooLong() {
    ShowUserMessage(nullptr, texts::kFolderPathTooLong, texts::kErrorCaption);
}

void RunBrowseLoop(HWND dlg) {
    for (;;) {
        if (!BrowseForGameFolder() || g_cancelled) return;
        switch (CheckGameFolder(g_longestArchiveNameUnits)) {
        case kGameFolderValid:
            EndDialog(dlg, 1);
            return;
        case kGameFolderNotGame:
            ShowUserMessage(dlg, texts::kNotGameFolder, texts::kErrorCaption);
            break;
        case kGameFolderNoSpace:
        case kGameFolderTooLong:
            break; // already told by the check
        }
        if (g_cancelled) return;
    }
}

} // namespace

int BrowseForGameFolder() {
    if (!PickGameFolder(g_gameDir)) {
        ShowUserMessage(nullptr, texts::kEmptyChoice, texts::kEmptyChoiceCaption);
        return 0;
    }
    // A choice without a file-system path stays empty and fails the check.
    if (g_gameDir[0]) AppendText(g_gameDir, kPathUnits, L"\\");
    return 1;
}

GameFolderCheck CheckGameFolder(size_t longestArchiveNameUnits) {
    const size_t folderUnits = lstrlenW(g_gameDir);
    // Only an absolute folder chosen in the browser is considered; an empty one would make
    // the marker path relative to the current directory.
    if (folderUnits < 3) return kGameFolderNotGame;
    if (g_gameDir[folderUnits - 1] != L'\\' ||
        !GameFolderPathFits(folderUnits, kMarkerNameUnits, kPathUnits)) {
        ReportPathTooLong();
        return kGameFolderTooLong;
    }

    wchar_t marker[kPathUnits] = L"";
    AppendText(marker, kPathUnits, g_gameDir);
    AppendText(marker, kPathUnits, kMarkerFile);
    if (!OwnedHandle(CreateFileW(marker, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)).IsValid())
        return kGameFolderNotGame;

    if (!GameFolderPathFits(folderUnits, longestArchiveNameUnits, kPathUnits)) {
        ReportPathTooLong();
        return kGameFolderTooLong;
    }

    ULARGE_INTEGER available{}, total{};
    if (!GetDiskFreeSpaceExW(g_gameDir, &available, &total, nullptr)) {
        ShowUserMessage(nullptr, texts::kFreeSpaceUnknown, texts::kErrorCaption);
        return kGameFolderNoSpace;
    }
    if (!HasEnoughFreeSpace(available.QuadPart)) {
        ShowUserMessage(nullptr, texts::kFreeSpaceTooLow, texts::kErrorCaption);
        return kGameFolderNoSpace;
    }
    return kGameFolderValid;
}

INT_PTR CALLBACK FolderDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        g_browsing = false;
        g_cancelled = false;
        const auto* patch = reinterpret_cast<const LoadedPatch*>(lParam);
        g_longestArchiveNameUnits = patch ? patch->longestNameUnits : 0;
        FitBannerToItsPlace(dlg);
        KeepInsideWorkArea(dlg);
        return TRUE; // focus goes to the first button, "下一步"
    }
    case WM_DPICHANGED:
        PostMessageW(dlg, kFitBanner, 0, 0);
        return FALSE; // the system rescales the dialog and its font
    case kFitBanner:
        FitBannerToItsPlace(dlg);
        return TRUE;
    case WM_DESTROY:
        ReleaseBanner(dlg);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (g_browsing) return TRUE;
            g_browsing = true;
            RunBrowseLoop(dlg);
            g_browsing = false;
            return TRUE;
        case IDCANCEL:
            g_cancelled = true;
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
