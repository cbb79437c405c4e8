#include "setup/PatchRun.h"

#include <commctrl.h>

#include "archive/FingerprintCheck.h"
#include "archive/PatchArchive.h"
#include "setup/ArchiveReport.h"
#include "setup/Globals.h"
#include "setup/InstallerTexts.h"
#include "core/ProgressMath.h"
#include "win/OwnedHandle.h"
#include "win/Text.h"
#include "win/UserMessage.h"
#include "setup/resource.h"

namespace {

// The paths handed to the progress dialog without waiting, each kept in its slot until the
// dialog has shown it: a slot is written again only after the run has waited for the dialog
// once per round of slots.
constexpr uint32_t kShownPathSlots = 32;

const wchar_t* NameOf(const ArchivePatchSet& set) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 names are used as wide strings");
    return reinterpret_cast<const wchar_t*>(set.name);
}

void ReportArchiveSkipped(const wchar_t* name, const wchar_t* why) {
    MessageText message;
    message.Append(why).Append(L"\n").Append(name);
    ShowUserMessage(nullptr, message.Get(), texts::kErrorCaption);
}

} // namespace

uint32_t GetFileSizeByName(const wchar_t* path) {
    OwnedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return 0;
    DWORD size = GetFileSize(file.Get(), nullptr);
    return size == INVALID_FILE_SIZE ? 0 : size;
}

PatchRunResult PatchAllArchives(const LoadedPatch& patch, unsigned char* failedFlags) {
    PatchRunResult result{patch.setCount, 0, false, 0};
    if (result.archiveCount && !patch.payload) {
        // Without the payload no record can be resolved: touch nothing.
        ShowUserMessage(nullptr, texts::kPayloadMissing, texts::kErrorCaption);
        result.payloadMissing = true;
        result.failedCount = result.archiveCount;
        if (failedFlags)
            for (uint32_t i = 0; i < result.archiveCount; ++i) failedFlags[i] = 1;
        return result;
    }

    uint32_t totalUnits = 0;
    // The patch's own total makes its bar end at 100; without one, the full-size patch's.
    const uint32_t expectedUnits = patch.hasProgressTotal ? patch.progressTotalUnits : kProgressExpectedUnits;
    const size_t dirLength = lstrlenW(g_gameDir);
    wchar_t shownPaths[kShownPathSlots][kPathUnits];
    for (uint32_t i = 0; i < patch.setCount; ++i) {
        const ArchivePatchSet& set = patch.sets[i];
        bool patched = false;
        uint32_t patchedSize = 0;
        // Every earlier path has reached the dialog before a slot is written again.
        HWND dlg = g_hProgressDlg.load();
        if (dlg && i && i % kShownPathSlots == 0) SendMessageW(dlg, WM_NULL, 0, 0);
        wchar_t* path = shownPaths[i % kShownPathSlots];
        path[0] = L'\0';
        // A path that does not fit is never composed.
        if (dirLength + (set.nameLength - 1) >= kPathUnits) {
            ReportArchiveSkipped(NameOf(set), texts::kArchivePathTooLong);
        } else {
            AppendText(path, kPathUnits, g_gameDir);
            AppendText(path, kPathUnits, NameOf(set));
            // Handed over without waiting, like the position: a wait here would hold the run
            // while the progress thread paints the previous text and position, which an archive
            // left as it is takes less time than (painting it from here would hold it always).
            // The progress thread handles sent messages in order: each text reaches the dialog
            // before its archive's position and after the previous one's.
            if (dlg) SendNotifyMessageW(dlg, kShowCurrentFile, 0, reinterpret_cast<LPARAM>(path));
            if (!ArchiveMayBeRewritten(path, set.fingerprint))
                // Its entry table is not the one the patch was made for.
                ReportArchiveSkipped(NameOf(set), texts::kOtherRelease);
            else if (!set.resolved)
                ReportArchiveSkipped(NameOf(set), texts::kArchiveDataIncomplete);
            else {
                const ArchiveOutcome outcome = PatchArchive(path, set.records, set.recordCount);
                patched = ReportArchiveOutcome(outcome);
                patchedSize = outcome.patchedSize;
                result.alreadyPatchedCount += outcome.result == ArchiveResult::AlreadyPatched;
            }
            // An archive in its patched state (rewritten now or found so) has the size its
            // rewrite planned; any other is as it lies.
            totalUnits = AddArchiveUnits(totalUnits, patched ? patchedSize : GetFileSizeByName(path));
        }
        if (!patched) {
            ++result.failedCount;
            if (failedFlags) failedFlags[i] = 1;
        }
        // The position too: the progress thread handles sent messages in order, so it is set
        // before the next archive's text is.
        dlg = g_hProgressDlg.load();
        if (dlg)
            SendNotifyMessageW(GetDlgItem(dlg, IDC_PROGRESS), PBM_SETPOS,
                               static_cast<WPARAM>(ProgressPosition(totalUnits, expectedUnits)), 0);
    }
    // The last text and position are in the dialog before the run returns (and the closing
    // message shows, and the paths' slots go).
    HWND dlg = g_hProgressDlg.load();
    if (dlg) SendMessageW(dlg, WM_NULL, 0, 0);
    return result;
}
