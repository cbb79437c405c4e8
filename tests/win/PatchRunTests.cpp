// The patching run on a generated 411-archive game folder: every archive byte for byte equal
// to the generator's own expectation, progress updates, and the run's failure accounting.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "TestSupport.h"
#include "core/PatchManifest.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "core/ProgressMath.h"
#include "setup/resource.h"

namespace {

// The generated data set: KSTR_GAMEDATA names a folder holding game/, expected/, patch/.
std::wstring GameData() { return FolderFromEnvironment(L"KSTR_GAMEDATA"); }

struct ListedArchive {
    std::wstring name;
    uint32_t expectedSize;
};

std::vector<ListedArchive> ListedArchives(const std::wstring& data) {
    std::vector<ListedArchive> out;
    std::ifstream list(Narrow(data + L"archives.txt"));
    std::string name;
    uint64_t original = 0, expected = 0, records = 0;
    while (list >> name >> original >> expected >> records)
        out.push_back({std::wstring(name.begin(), name.end()), static_cast<uint32_t>(expected)});
    return out;
}

// Progress dialog stand-in: a window with the two controls the run updates, recording what
// they are sent; like the dialog, it shows the path of kShowCurrentFile in its text control.
struct ProgressRecorder {
    HWND dialog = nullptr;
    static std::vector<int> positions;
    static std::vector<std::wstring> files;
    static WNDPROC originalBar, originalText, originalDialog;

    // How many texts had arrived when each position did; the position numbered slowAt
    // (counting from 1) takes 200 ms to arrive, the text numbered slowTextAt 500 ms.
    static std::vector<size_t> textsBeforePosition;
    static size_t slowAt, slowTextAt;

    static LRESULT CALLBACK BarProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == PBM_SETPOS) {
            if (positions.size() + 1 == slowAt) Sleep(200);
            positions.push_back(static_cast<int>(wp));
            textsBeforePosition.push_back(files.size());
        }
        return CallWindowProcW(originalBar, w, m, wp, lp);
    }
    static LRESULT CALLBACK TextProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_SETTEXT) {
            // The path is read only after the wait: the run must not have reused its buffer.
            if (files.size() + 1 == slowTextAt) Sleep(500);
            files.push_back(reinterpret_cast<const wchar_t*>(lp));
        }
        return CallWindowProcW(originalText, w, m, wp, lp);
    }
    static LRESULT CALLBACK DialogProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == kShowCurrentFile) return SendDlgItemMessageW(w, IDC_CURRENT_FILE, WM_SETTEXT, kPathUnits, lp);
        return CallWindowProcW(originalDialog, w, m, wp, lp);
    }

    ProgressRecorder() {
        positions.clear();
        files.clear();
        textsBeforePosition.clear();
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
        HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 10, dialog,
                                   reinterpret_cast<HMENU>(IDC_PROGRESS), nullptr, nullptr);
        HWND text = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 20, 100, 10, dialog,
                                    reinterpret_cast<HMENU>(IDC_CURRENT_FILE), nullptr, nullptr);
        originalBar = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));
        originalText = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextProc)));
        originalDialog =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DialogProc)));
        g_hProgressDlg.store(dialog);
        EXPECT_NE(originalBar, nullptr) << "no window (is there a display?)";
        EXPECT_NE(originalText, nullptr);
    }
    ~ProgressRecorder() {
        g_hProgressDlg.store(nullptr);
        DestroyWindow(dialog);
    }
};
std::vector<int> ProgressRecorder::positions;
std::vector<std::wstring> ProgressRecorder::files;
std::vector<size_t> ProgressRecorder::textsBeforePosition;
size_t ProgressRecorder::slowAt = 0;
size_t ProgressRecorder::slowTextAt = 0;
WNDPROC ProgressRecorder::originalBar;
WNDPROC ProgressRecorder::originalText;
WNDPROC ProgressRecorder::originalDialog;

// The generated patch, loaded as the installer loads it.
struct GeneratedPatch : PatchFiles {
    explicit GeneratedPatch(const std::wstring& data) : PatchFiles(data + L"patch\\") {
        EXPECT_EQ(load, PatchLoad::Loaded);
    }
};

class PatchRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = GameData();
        ASSERT_FALSE(data.empty()) << "KSTR_GAMEDATA is not set";
        archives = ListedArchives(data);
        ASSERT_EQ(archives.size(), 411u);
        ASSERT_TRUE(CopyTree(data + L"game", game.Path() + L"game"));
        std::wstring dir = game.Path() + L"game\\";
        lstrcpynW(g_gameDir, dir.c_str(), kPathUnits);
    }
    void ExpectAllArchivesAsExpected() {
        for (const auto& a : archives) {
            Bytes got, want;
            ASSERT_TRUE(ReadWholeFile(std::wstring(g_gameDir) + a.name, &got)) << Narrow(a.name);
            ASSERT_TRUE(ReadWholeFile(data + L"expected\\" + a.name, &want)) << Narrow(a.name);
            ASSERT_TRUE(got == want) << Narrow(a.name) << " differs from the expected archive";
        }
        EXPECT_TRUE(FindTempFiles(game.Path()).empty()) << "temporary files left behind";
    }

    std::wstring data;
    std::vector<ListedArchive> archives;
    ScratchDir game;
    MessageRecorder messages;
};

TEST_F(PatchRunTest, EveryArchiveByteExactAndProgressFollowsTheSizes) {
    GeneratedPatch patch(data);
    ProgressRecorder progress;
    std::vector<unsigned char> failed(archives.size(), 0);
    PatchRunResult result = PatchAllArchives(patch.loaded, failed.data());
    EXPECT_EQ(result.archiveCount, 411u);
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_FALSE(result.payloadMissing);
    EXPECT_TRUE(messages.Messages().empty());
    ExpectAllArchivesAsExpected();

    // One file name and one position per archive, in manifest order; each position is the
    // running sum of the per-archive shifted sizes, divided then multiplied.
    EXPECT_EQ(ProgressRecorder::positions.size(), archives.size());
    ASSERT_EQ(ProgressRecorder::files.size(), archives.size());
    ASSERT_EQ(ProgressRecorder::positions.size(), archives.size());
    uint32_t units = 0;
    for (size_t i = 0; i < archives.size(); ++i) {
        EXPECT_EQ(ProgressRecorder::files[i], std::wstring(g_gameDir) + archives[i].name);
        units += archives[i].expectedSize >> 8;
        EXPECT_EQ(ProgressRecorder::positions[i], static_cast<int>(units / 18077230.0 * 100.0));
    }

    // The same folder patched again gives the same bytes.
    PatchRunResult again = PatchAllArchives(patch.loaded, nullptr);
    EXPECT_EQ(again.failedCount, 0u);
    ExpectAllArchivesAsExpected();
}

// A patch that carries its own total (the sum of its patched archives' units, as patchbuild
// computes it) ends its bar at exactly 100, whatever the folder's size; this small folder
// against the fixed total would stop at 0.
TEST_F(PatchRunTest, APatchsOwnTotalEndsTheBarAtHundred) {
    GeneratedPatch patch(data);
    uint32_t total = 0;
    for (const auto& a : archives) total = AddArchiveUnits(total, a.expectedSize);
    ASSERT_EQ(ProgressPosition(total), 0) << "the folder is larger than expected for this case";
    patch.loaded.hasProgressTotal = true;
    patch.loaded.progressTotalUnits = total;
    ProgressRecorder progress;
    PatchRunResult result = PatchAllArchives(patch.loaded, nullptr);
    EXPECT_EQ(result.failedCount, 0u);
    ASSERT_EQ(ProgressRecorder::positions.size(), archives.size());
    uint32_t units = 0;
    for (size_t i = 0; i < archives.size(); ++i) {
        units = AddArchiveUnits(units, archives[i].expectedSize);
        EXPECT_EQ(ProgressRecorder::positions[i], static_cast<int>(units / double(total) * 100.0)) << i;
    }
    EXPECT_EQ(ProgressRecorder::positions.back(), 100);
    ExpectAllArchivesAsExpected();
}

// The dialog on a thread of its own, as in the installer, pumping messages.
struct ProgressThread {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Proc, this, 0, &id);

    static DWORD WINAPI Proc(LPVOID self) {
        ProgressRecorder recorder;
        SetEvent(static_cast<ProgressThread*>(self)->ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        return 0;
    }
    ProgressThread() { WaitForSingleObject(ready, 10000); }
    ~ProgressThread() {
        PostThreadMessageW(id, WM_QUIT, 0, 0);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        CloseHandle(ready);
    }
};

// The run does not wait for the bar to take each position, but when it returns (and the
// closing message comes up) every text and position has reached the dialog's thread, in
// the run's order, the last position too, however slowly it was taken.
TEST_F(PatchRunTest, EveryUpdateReachesTheDialogThreadBeforeTheRunReturns) {
    GeneratedPatch patch(data);
    ProgressRecorder::slowAt = archives.size();
    PatchRunResult result;
    size_t positionsAtReturn = 0;
    {
        ProgressThread dialog;
        ASSERT_NE(g_hProgressDlg.load(), nullptr);
        result = PatchAllArchives(patch.loaded, nullptr);
        positionsAtReturn = ProgressRecorder::positions.size();
    }
    ProgressRecorder::slowAt = 0;
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_EQ(positionsAtReturn, archives.size()) << "positions still on their way when the run returned";
    ASSERT_EQ(ProgressRecorder::files.size(), archives.size());
    ASSERT_EQ(ProgressRecorder::positions.size(), archives.size());
    uint32_t units = 0;
    for (size_t i = 0; i < archives.size(); ++i) {
        EXPECT_EQ(ProgressRecorder::files[i], std::wstring(g_gameDir) + archives[i].name);
        EXPECT_EQ(ProgressRecorder::textsBeforePosition[i], i + 1) << "position " << i << " out of order";
        units = AddArchiveUnits(units, archives[i].expectedSize);
        EXPECT_EQ(ProgressRecorder::positions[i], ProgressPosition(units)) << i;
    }
    ExpectAllArchivesAsExpected();
}

// A second run over the patched folder (by mistake, or after a game update restored some
// archives): every archive already in its patched state is left as it was, bytes and
// modification time, with no temporary file, and counts like a patched one.
class SecondRunTest : public PatchRunTest {
protected:
    void SetUp() override {
        PatchRunTest::SetUp();
        if (HasFatalFailure()) return;
        patch = std::make_unique<GeneratedPatch>(data);
        PatchRunResult first = PatchAllArchives(patch->loaded, nullptr);
        ASSERT_EQ(first.failedCount, 0u);
        ASSERT_EQ(first.alreadyPatchedCount, 0u) << "the generated folder is not patched yet";
        for (const auto& a : archives) ASSERT_TRUE(SetLastWriteTime(Path(a), kLongAgo)) << Narrow(a.name);
    }
    std::wstring Path(const ListedArchive& a) const { return std::wstring(g_gameDir) + a.name; }
    // The archives whose modification time moved since SetUp.
    std::vector<size_t> Written() const {
        std::vector<size_t> written;
        for (size_t i = 0; i < archives.size(); ++i)
            if (LastWriteTime(Path(archives[i])) != kLongAgo) written.push_back(i);
        return written;
    }
    std::unique_ptr<GeneratedPatch> patch;
};

TEST_F(SecondRunTest, LeavesThePatchedFolderAsItIs) {
    ProgressRecorder progress;
    std::vector<unsigned char> failed(archives.size(), 0);
    PatchRunResult result = PatchAllArchives(patch->loaded, failed.data());
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_EQ(result.alreadyPatchedCount, 411u);
    EXPECT_EQ(std::count(failed.begin(), failed.end(), 1), 0);
    EXPECT_TRUE(messages.Messages().empty());
    ExpectAllArchivesAsExpected();
    EXPECT_TRUE(Written().empty()) << Written().size() << " archives were written";
    // The bar moves by each archive's size, as in a first run.
    ASSERT_EQ(ProgressRecorder::positions.size(), archives.size());
    uint32_t units = 0;
    for (size_t i = 0; i < archives.size(); ++i) {
        units = AddArchiveUnits(units, archives[i].expectedSize);
        EXPECT_EQ(ProgressRecorder::positions[i], ProgressPosition(units)) << i;
    }
}

TEST_F(SecondRunTest, RewritesExactlyTheArchivesPutBackToTheirOriginal) {
    const std::vector<size_t> restored = {0, 57, 123, 250, 410};
    for (size_t i : restored) {
        Bytes original;
        ASSERT_TRUE(ReadWholeFile(data + L"game\\" + archives[i].name, &original));
        ASSERT_TRUE(WriteWholeFile(Path(archives[i]), original));
        ASSERT_TRUE(SetLastWriteTime(Path(archives[i]), kLongAgo));
    }
    PatchRunResult result = PatchAllArchives(patch->loaded, nullptr);
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_EQ(result.alreadyPatchedCount, 411u - restored.size());
    EXPECT_TRUE(messages.Messages().empty());
    ExpectAllArchivesAsExpected();
    EXPECT_EQ(Written(), restored);
}

// The paths go to the dialog without the run waiting for each: the run may be many archives
// ahead of the dialog (a second run leaves archives faster than a window repaints), yet every
// path arrives as it was, in order, before its position, however long the dialog takes.
TEST_F(SecondRunTest, EveryPathReachesTheDialogWhileTheRunRunsAhead) {
    ProgressRecorder::slowTextAt = 2;
    PatchRunResult result;
    {
        ProgressThread dialog;
        ASSERT_NE(g_hProgressDlg.load(), nullptr);
        result = PatchAllArchives(patch->loaded, nullptr);
    }
    ProgressRecorder::slowTextAt = 0;
    EXPECT_EQ(result.alreadyPatchedCount, 411u);
    ASSERT_EQ(ProgressRecorder::files.size(), archives.size());
    ASSERT_EQ(ProgressRecorder::positions.size(), archives.size());
    uint32_t units = 0;
    for (size_t i = 0; i < archives.size(); ++i) {
        EXPECT_EQ(ProgressRecorder::files[i], Path(archives[i])) << i;
        EXPECT_EQ(ProgressRecorder::textsBeforePosition[i], i + 1) << "position " << i << " out of order";
        units = AddArchiveUnits(units, archives[i].expectedSize);
        EXPECT_EQ(ProgressRecorder::positions[i], ProgressPosition(units)) << i;
    }
}

TEST_F(PatchRunTest, FailedArchivesAreCountedAndTheRestPatched) {
    GeneratedPatch patch(data);
    const std::wstring missing = std::wstring(g_gameDir) + archives[5].name;
    ASSERT_TRUE(DeleteFileW(missing.c_str()));
    std::vector<unsigned char> failed(archives.size(), 0);
    PatchRunResult result = PatchAllArchives(patch.loaded, failed.data());
    EXPECT_EQ(result.failedCount, 1u);
    EXPECT_EQ(failed[5], 1);
    EXPECT_EQ(std::count(failed.begin(), failed.end(), 1), 1);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].caption, L"无法打开");
    EXPECT_FALSE(Exists(missing));
}

TEST_F(PatchRunTest, MissingPayloadTouchesNothing) {
    GeneratedPatch patch(data);
    ProgressRecorder progress;
    LoadedPatch withoutPayload = patch.loaded;
    withoutPayload.payload = nullptr;
    withoutPayload.payloadSize = 0;
    PatchRunResult result = PatchAllArchives(withoutPayload, nullptr);
    EXPECT_TRUE(result.payloadMissing);
    EXPECT_EQ(result.failedCount, 411u);
    EXPECT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(ProgressRecorder::positions.empty());
    for (const auto& a : archives) {
        Bytes got, original;
        ASSERT_TRUE(ReadWholeFile(std::wstring(g_gameDir) + a.name, &got));
        ASSERT_TRUE(ReadWholeFile(data + L"game\\" + a.name, &original));
        ASSERT_TRUE(got == original) << Narrow(a.name);
    }
}

TEST_F(PatchRunTest, PathsThatDoNotFitAreSkippedNotComposed) {
    GeneratedPatch patch(data);
    // A folder so long that only the shortest names fit: 259 units minus 40.
    std::wstring longDir = game.Path();
    while (longDir.size() < 259 - 40) longDir += L"d";
    longDir += L"\\";
    lstrcpynW(g_gameDir, longDir.c_str(), kPathUnits);
    uint32_t fit = 0;
    for (const auto& a : archives) fit += longDir.size() + a.name.size() < kPathUnits;
    ASSERT_GT(fit, 0u);
    ASSERT_LT(fit, 411u);
    PatchRunResult result = PatchAllArchives(patch.loaded, nullptr);
    // Those that fit fail to open (the long folder holds no game); the rest are skipped.
    EXPECT_EQ(result.failedCount, 411u);
    EXPECT_EQ(messages.Messages().size(), 411u);
    size_t skipped = std::count_if(messages.Messages().begin(), messages.Messages().end(),
                                   [](const RecordedMessage& m) { return m.caption == L"错误"; });
    EXPECT_EQ(skipped, 411u - fit);
}

TEST(PatchRunEmpty, EmptyManifestPatchesNothingAndSendsNoUpdates) {
    MessageRecorder messages;
    ProgressRecorder progress;
    const unsigned char empty[4] = {0, 0, 0, 0};
    PatchBytes bytes;
    bytes[kPartManifest] = {empty, 4};
    LoadedPatch patch;
    ASSERT_EQ(LoadPatch(bytes, &patch), PatchLoad::Loaded) << "an empty manifest needs no payload";
    PatchRunResult result = PatchAllArchives(patch, nullptr);
    EXPECT_EQ(result.archiveCount, 0u);
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_FALSE(result.payloadMissing);
    EXPECT_TRUE(ProgressRecorder::positions.empty());
    EXPECT_TRUE(ProgressRecorder::files.empty());
    FreeLoadedPatch(&patch);
}

} // namespace
