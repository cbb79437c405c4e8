#include "setup/PatchRun.h"

#include <commctrl.h>

#include "archive/FingerprintCheck.h"
#include "archive/PatchArchive.h"
#include "setup/ArchiveReport.h"
#include "setup/Globals.h"
#include "setup/ProgressMath.h"
#include "setup/UserMessage.h"
#include "setup/resource.h"

namespace {

const wchar_t kErrorCaption[] = L"错误";
// An archive whose entry table is not the one the patch was made for (fingerprint check).
const wchar_t kOtherReleaseText[] =
    L"以下文件与本补丁对应的游戏版本不符（可能属于其他版本的游戏）。"
    L"为避免损坏游戏文件，此文件已被跳过，未做任何修改：";

const wchar_t* NameOf(const ArchivePatchSet& set) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 names are used as wide strings");
    return reinterpret_cast<const wchar_t*>(set.name);
}

void ReportArchiveSkipped(const wchar_t* name, const wchar_t* why) {
    wchar_t message[600] = L"";
    AppendText(message, 600, why);
    AppendText(message, 600, L"\n");
    AppendText(message, 600, name);
    ShowUserMessage(nullptr, message, kErrorCaption);
}

} // namespace

uint32_t GetFileSizeByName(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    return size == INVALID_FILE_SIZE ? 0 : size;
}

PatchRunResult PatchAllArchives(const LoadedPatch& patch, unsigned char* failedFlags) {
    PatchRunResult result{patch.setCount, 0, false};
    if (result.archiveCount && !patch.payload) {
        // Without the payload no record can be resolved: touch nothing.
        ShowUserMessage(nullptr,
                        L"安装程序中的补丁数据缺失或已损坏，无法安装。游戏文件未被修改。"
                        L"请重新下载本安装程序。",
                        kErrorCaption);
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
    for (uint32_t i = 0; i < patch.setCount; ++i) {
        const ArchivePatchSet& set = patch.sets[i];
        bool patched = false;
        wchar_t path[kPathUnits] = L"";
        // A path that does not fit is never composed.
        if (dirLength + (set.nameLength - 1) >= kPathUnits) {
            ReportArchiveSkipped(NameOf(set), L"游戏目录的路径过长，无法处理以下文件：");
        } else {
            AppendText(path, kPathUnits, g_gameDir);
            AppendText(path, kPathUnits, NameOf(set));
            HWND dlg = g_hProgressDlg.load();
            if (dlg) {
                SendDlgItemMessageW(dlg, IDC_CURRENT_FILE, WM_SETTEXT, kPathUnits,
                                    reinterpret_cast<LPARAM>(path));
                UpdateWindow(dlg);
            }
            if (!ArchiveMayBeRewritten(path, set.fingerprint))
                ReportArchiveSkipped(NameOf(set), kOtherReleaseText);
            else if (!set.resolved)
                ReportArchiveSkipped(NameOf(set), L"安装程序中的补丁数据不完整，已跳过以下文件：");
            else
                patched = ReportArchiveOutcome(PatchArchive(path, set.records, set.recordCount));
            totalUnits = AddArchiveUnits(totalUnits, GetFileSizeByName(path));
        }
        if (!patched) {
            ++result.failedCount;
            if (failedFlags) failedFlags[i] = 1;
        }
        HWND dlg = g_hProgressDlg.load();
        if (dlg)
            SendDlgItemMessageW(dlg, IDC_PROGRESS, PBM_SETPOS,
                                static_cast<WPARAM>(ProgressPosition(totalUnits, expectedUnits)), 0);
    }
    return result;
}
