// End-to-end driver: starts the installer and goes through one scenario as a user would,
// checking every dialog and message on the way. Prints "E2E PASS <scenario>" at the end.
//
//   e2e_driver SCENARIO setup=EXE [game=DIR] [other=DIR] [long=DIR] [shots=DIR]
//              [picker=shell|script] [hook=DLL [trace=FILE archives=FILE]] [failing=N]
//              [companion=0|1] [timeout=SECONDS] [pause=MS] [dpi=N]
//              [sample=MS] [progress=optional]
//
// hook=DLL: e2e_hook.dll of the installer's build, whose hook selects folders in the shell's
// browser from inside the installer (needed with picker=shell) and, with trace=FILE, records
// the progress dialog's updates.
//
// sample=MS: how often the installation looks at the windows and the progress bar (15 ms
// by default). The installation prints "E2E TIMING run_ms=..." for the time from the
// folder's acceptance (OK in the browser) to the closing message, as the player waits.
// progress=optional: a run over a folder already (almost all) patched may be over before its
// progress dialog is up or looked at, and the dialog goes with the next message its thread
// takes once the run is over: the dialog is then neither required nor checked, and an empty
// progress trace is no failure (the archives and the closing message still are checked).
//
// Scenarios: disagree, refuse-folder, cancel-browser, not-game, long-path, install.
// picker=script: the installer is the test build whose folder picker answers from
// KSTR_E2E_PICKS (where the shell's browser cannot run); the driver fills it in.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "BrowserSelectRequest.h"
#include "DialogChecks.h"
#include "WinDriver.h"
#include "core/ProgressMath.h"
#include "core/ProgressTotal.h"

namespace {

std::map<std::wstring, std::wstring> g_options;
bool g_scriptedPicker = false;
DWORD g_pause = 0;

std::wstring Option(const wchar_t* key, const wchar_t* fallback = L"") {
    auto it = g_options.find(key);
    return it == g_options.end() ? fallback : it->second;
}

std::wstring WithBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

void Pause() {
    if (g_pause) Sleep(g_pause);
}

void ExpectMessage(HWND box, const wchar_t* caption, const wchar_t* text, bool exact) {
    const std::wstring actualCaption = WindowText(box), actualText = MessageBoxText(box);
    if (actualCaption != caption || (exact ? actualText != text : actualText.find(text) == std::wstring::npos))
        Fail(L"message box \"%ls\": \"%ls\"; expected \"%ls\": %ls\"%ls\"", actualCaption.c_str(),
             actualText.c_str(), caption, exact ? L"" : L"containing ", text);
    Say(L"message box \"%ls\": %ls", actualCaption.c_str(), actualText.c_str());
}

HWND ConfirmMessage(const wchar_t* caption, const wchar_t* text, bool exact, const wchar_t* shot) {
    HWND box = WaitForWindow(WindowKind::MessageBox, 15000, caption);
    ExpectMessage(box, caption, text, exact);
    if (shot) Screenshot(shot);
    Pause();
    PressButton(box, IDOK);
    WaitForWindowGone(box, 10000, L"the message box");
    return box;
}

void ExpectExitCode0() {
    DWORD code = 1;
    WaitForExit(15000, &code);
    if (code != 0) Fail(L"the installer ended with exit code %lu", code);
    Say(L"the installer ended with exit code 0");
}

// Runs the installer up to its game-folder dialog.
HWND AgreeToNotice(bool shoot) {
    HWND notice = WaitForWindow(WindowKind::Notice, 30000, L"the notice");
    CheckNoticeDialog(notice);
    if (shoot) Screenshot(L"01-notice");
    Pause();
    Say(L"pressing 同意");
    PressButton(notice, IDOK);
    HWND folder = WaitForWindow(WindowKind::Folder, 15000, L"the game-folder dialog");
    return folder;
}

HWND OpenBrowser(HWND folder) {
    Say(L"pressing 下一步");
    PressButton(folder, IDOK);
    if (g_scriptedPicker) return nullptr;
    HWND browser = WaitForWindow(WindowKind::Browser, 15000, L"the folder browser");
    CheckBrowserTitle(browser);
    return browser;
}

void CancelBrowser(HWND browser);

// Chooses a folder in the browser and presses OK. A browser's tree now and then never takes
// the selection however often it is asked (seen under emulated 32-bit Wine on a loaded
// machine: the walk stops at one level of the path), while a fresh browser does; so after
// 20 tries the driver goes the user's way out, checking it as it goes: cancel, confirm the
// empty choice, 下一步 again, at most three browsers.
void ChooseInBrowser(HWND browser, const std::wstring& folder, const wchar_t* shot) {
    if (g_scriptedPicker) return;
    for (int browsers = 1;; ++browsers) {
        bool selected = false;
        for (int attempt = 0; attempt < 20 && !selected; ++attempt) { // a slow tree under load
            selected = SelectInBrowser(browser, folder);
            if (!selected) Sleep(250);
        }
        if (selected) break;
        if (browsers == 3) Fail(L"three folder browsers did not select %ls", folder.c_str());
        Say(L"folder browser: its tree does not take the selection; cancelling it for a fresh one");
        CancelBrowser(browser);
        ConfirmMessage(L"Choose", L"选择为空", true, nullptr);
        browser = OpenBrowser(WaitForWindow(WindowKind::Folder, 15000, L"the game-folder dialog"));
    }
    Say(L"folder browser: selected %ls", folder.c_str());
    if (shot) Screenshot(shot);
    Pause();
    PressButton(browser, IDOK);
}

void CancelBrowser(HWND browser) {
    if (g_scriptedPicker) return;
    Say(L"folder browser: cancel");
    PressButton(browser, IDCANCEL);
}

void ExpectOnly(WindowKind kind, const wchar_t* what) {
    Sleep(300);
    std::vector<FoundWindow> windows = TargetWindows();
    if (windows.size() != 1 || windows[0].kind != kind)
        Fail(L"expected only %ls on screen; windows: %ls", what, DescribeWindows(windows).c_str());
}

void SetPicks(const std::wstring& picks) {
    SetEnvironmentVariableW(L"KSTR_E2E_PICKS", picks.c_str());
}

// The hook of hook=DLL, placed into the installer's process: the folder browser's selection
// (always) and, with trace=FILE, the progress dialog's updates recorded to FILE.
void PlaceHook() {
    if (Option(L"hook").empty()) return;
    if (!Option(L"trace").empty()) {
        DeleteFileW(Option(L"trace").c_str());
        SetEnvironmentVariableW(L"KSTR_E2E_TRACE", Option(L"trace").c_str());
    }
    // The browser's requests and answers go through a file of the driver's.
    wchar_t temp[MAX_PATH], requests[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp) || !GetTempFileNameW(temp, L"sel", 0, requests))
        Fail(L"cannot make the browser request file (error %lu)", GetLastError());
    SetEnvironmentVariableW(kBrowserSelectFileVariable, requests);
    static std::wstring requestFile = requests;
    atexit([] { DeleteFileW(requestFile.c_str()); });
    HMODULE module = LoadLibraryW(Option(L"hook").c_str());
    if (!module) Fail(L"cannot load the hook DLL %ls (error %lu)", Option(L"hook").c_str(), GetLastError());
    auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "DriverHook")));
    if (!proc || !SetWindowsHookExW(WH_CALLWNDPROC, proc, module, 0))
        Fail(L"cannot place the driver's hook (error %lu)", GetLastError());
}

// ---- scenarios ----

void Disagree() {
    StartTarget(Option(L"setup"));
    HWND notice = WaitForWindow(WindowKind::Notice, 30000, L"the notice");
    CheckNoticeDialog(notice);
    Screenshot(L"01-notice");
    Say(L"pressing 不同意");
    PressButton(notice, IDCANCEL);
    // The game-folder dialog must never show.
    DWORD code = 0;
    const DWORD start = GetTickCount();
    while (!TargetEnded(&code)) {
        for (const FoundWindow& w : TargetWindows())
            if (w.kind != WindowKind::Notice) Fail(L"after disagreeing: %ls", DescribeWindows({w}).c_str());
        if (GetTickCount() - start > 15000) Fail(L"the installer did not end after disagreeing");
        Sleep(20);
    }
    if (code != 0) Fail(L"exit code %lu", code);
    Say(L"the installer ended with exit code 0, no further dialog");
}

void ExpectFocusOn(HWND dlg, int id, const wchar_t* what) {
    HWND focus = FocusedControl(dlg);
    if (!focus || GetWindowLongPtrW(focus, GWLP_ID) != id) Fail(L"%ls does not have the keyboard focus", what);
}

// The keyboard: Enter agrees at the notice (its focus is on 同意), Escape refuses the
// game-folder dialog (whose focus is on 下一步).
void RefuseFolder() {
    StartTarget(Option(L"setup"));
    HWND notice = WaitForWindow(WindowKind::Notice, 30000, L"the notice");
    ExpectFocusOn(notice, IDOK, L"同意");
    Say(L"pressing Enter at the notice");
    PressEnter(notice);
    HWND folder = WaitForWindow(WindowKind::Folder, 15000, L"the game-folder dialog");
    CheckFolderDialog(folder);
    ExpectFocusOn(folder, IDOK, L"下一步");
    Say(L"pressing Escape in the game-folder dialog");
    PressEscape(folder);
    ExpectExitCode0();
}

void CancelBrowser() {
    SetPicks(L"<cancel>");
    StartTarget(Option(L"setup"));
    HWND folder = AgreeToNotice(true);
    CheckFolderDialog(folder);
    Screenshot(L"02-folder");
    HWND browser = OpenBrowser(folder);
    if (browser) {
        Screenshot(L"03-browser");
        // A second "下一步" while the browser is open is ignored.
        Say(L"pressing 下一步 again while the browser is open");
        PressButton(folder, IDOK);
        Sleep(500);
        int browsers = 0;
        for (const FoundWindow& w : TargetWindows()) browsers += w.kind == WindowKind::Browser;
        if (browsers != 1) Fail(L"%d folder browsers open after a second 下一步", browsers);
        CancelBrowser(browser);
    }
    ConfirmMessage(L"Choose", L"选择为空", true, L"04-empty-choice");
    ExpectOnly(WindowKind::Folder, L"the game-folder dialog");
    Say(L"the game-folder dialog stays open; closing it with the close box");
    PressCloseBox(folder);
    ExpectExitCode0();
}

void NotGame() {
    const std::wstring other = Option(L"other");
    SetPicks(L"<nopath>|" + other + L"|<cancel>");
    StartTarget(Option(L"setup"));
    HWND folder = AgreeToNotice(false);
    const wchar_t* notGame = L"您所选择的目录不是Kestrune目录！请重新选择！";
    if (g_scriptedPicker) {
        // A choice with no file-system path is no game folder either.
        OpenBrowser(folder);
        ConfirmMessage(L"错误", notGame, true, nullptr);
    } else {
        HWND browser = OpenBrowser(folder);
        ChooseInBrowser(browser, other, nullptr);
    }
    HWND box = WaitForWindow(WindowKind::MessageBox, 15000, L"the not-the-game message");
    ExpectMessage(box, L"错误", notGame, true);
    if (GetWindow(box, GW_OWNER) != folder) Fail(L"the message is not owned by the game-folder dialog");
    Screenshot(L"05-not-game");
    PressButton(box, IDOK);
    WaitForWindowGone(box, 10000, L"the message box");
    // The browser opens again.
    if (!g_scriptedPicker) {
        HWND again = WaitForWindow(WindowKind::Browser, 15000, L"the folder browser, again");
        Say(L"the folder browser opened again");
        CancelBrowser(again);
    }
    ConfirmMessage(L"Choose", L"选择为空", true, nullptr);
    ExpectOnly(WindowKind::Folder, L"the game-folder dialog");
    Say(L"pressing 取消");
    PressButton(folder, IDCANCEL);
    ExpectExitCode0();
}

void LongPath() {
    // long= names a folder that holds the marker but leaves no room for the longest
    // archive name; a folder too long even for the marker is made up from it.
    const std::wstring fits = Option(L"long");
    std::wstring tooLong = WithBackslash(fits);
    while (tooLong.size() < 240) tooLong += L"x";
    SetPicks(tooLong + L"|" + fits + L"|<cancel>");
    StartTarget(Option(L"setup"));
    HWND folder = AgreeToNotice(false);
    OpenBrowser(folder);
    for (int i = 0; i < 2; ++i)
        ConfirmMessage(L"错误", L"您所选择的目录路径过长，补丁无法安装到该目录！", false, i ? nullptr : L"06-path-too-long");
    ConfirmMessage(L"Choose", L"选择为空", true, nullptr);
    PressButton(folder, IDCANCEL);
    ExpectExitCode0();
}

// ---- the installation ----

struct Sample {
    std::wstring file;
    int position;
};

std::wstring FromUtf8(const std::string& s) {
    int units = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring out(units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &out[0], units);
    out.resize(units ? units - 1 : 0);
    return out;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return lines;
    std::string line;
    for (int c; (c = fgetc(f)) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    fclose(f);
    return lines;
}

struct ArchiveRow {
    std::wstring name;
    unsigned long long expectedSize;
};

std::vector<ArchiveRow> ReadArchiveList(const std::wstring& path) {
    std::vector<ArchiveRow> rows;
    for (const std::string& line : ReadLines(path)) {
        char name[512];
        unsigned long long original = 0, expected = 0;
        unsigned records = 0;
        if (sscanf(line.c_str(), "%511s %llu %llu %u", name, &original, &expected, &records) == 4)
            rows.push_back({FromUtf8(name), expected});
    }
    return rows;
}

// The trace holds every update the run sent to the progress dialog. After the folder, it
// must be exactly the run's sequence -- each archive's path, then the position computed
// from the sizes of the patched archives -- from the first update after the dialog was
// published to the last archive.
// The total the installer measures its run against: the embedded patch's own
// (progress-total=FILE, the patch folder's progress_total.bin), else the fixed one.
uint32_t ExpectedTotal() {
    const std::wstring path = Option(L"progress-total");
    if (path.empty()) return kProgressExpectedUnits;
    unsigned char bytes[kProgressTotalSize + 1] = {};
    DWORD read = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE && ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    uint32_t units = 0;
    if (!ok || !ParseProgressTotal(bytes, read, &units)) Fail(L"cannot read the progress total %ls", path.c_str());
    return units;
}

void CheckTrace(const std::wstring& gameDir, bool exactPositions, bool updatesOptional) {
    std::vector<ArchiveRow> archives = ReadArchiveList(Option(L"archives"));
    if (archives.empty()) Fail(L"cannot read the archive list %ls", Option(L"archives").c_str());
    const uint32_t expectedTotal = ExpectedTotal();
    std::vector<std::pair<std::wstring, std::wstring>> expected;
    uint32_t units = 0;
    for (const ArchiveRow& a : archives) {
        expected.push_back({L"file", gameDir + a.name});
        units = AddArchiveUnits(units, static_cast<uint32_t>(a.expectedSize));
        expected.push_back({L"pos", std::to_wstring(ProgressPosition(units, expectedTotal))});
    }
    std::vector<std::pair<std::wstring, std::wstring>> trace;
    for (const std::string& line : ReadLines(Option(L"trace"))) {
        std::wstring w = FromUtf8(line);
        size_t bar = w.find(L'|');
        if (bar != std::wstring::npos) trace.push_back({w.substr(0, bar), w.substr(bar + 1)});
    }
    if (trace.empty() || trace[0].first != L"dir" || trace[0].second != gameDir)
        Fail(L"progress trace: the dialog did not start with the folder %ls", gameDir.c_str());
    trace.erase(trace.begin());
    if (trace.empty() && updatesOptional) {
        Say(L"progress trace: the run was over before its progress dialog was published");
        return;
    }
    if (trace.empty()) Fail(L"progress trace: no updates reached the progress dialog");
    // Where the trace joins the sequence: at a path, or at the position just before one.
    size_t start = expected.size();
    if (trace[0].first == L"file") {
        for (size_t j = 0; j < expected.size(); j += 2)
            if (expected[j].second == trace[0].second) start = j;
    } else if (trace.size() > 1 && trace[1].first == L"file") {
        for (size_t j = 2; j < expected.size(); j += 2)
            if (expected[j].second == trace[1].second) start = j - 1;
    }
    if (start == expected.size()) Fail(L"progress trace starts with an unknown update %ls|%ls",
                                       trace[0].first.c_str(), trace[0].second.c_str());
    if (expected.size() - start != trace.size())
        Fail(L"progress trace: %zu updates from update %zu on, expected %zu", trace.size(), start,
             expected.size() - start);
    int last = -1;
    for (size_t k = 0; k < trace.size(); ++k) {
        const auto& want = expected[start + k];
        const auto& got = trace[k];
        if (got.first != want.first) Fail(L"progress trace: update %zu is %ls, expected %ls", start + k, got.first.c_str(), want.first.c_str());
        if (got.first == L"file" && got.second != want.second)
            Fail(L"progress trace: archive %zu shown as %ls, expected %ls", (start + k) / 2, got.second.c_str(), want.second.c_str());
        if (got.first == L"pos") {
            int position = _wtoi(got.second.c_str());
            if (position < last) Fail(L"progress trace: position fell from %d to %d", last, position);
            last = position;
            if (exactPositions && got.second != want.second)
                Fail(L"progress trace: position after archive %zu is %ls, the sizes give %ls", (start + k) / 2,
                     got.second.c_str(), want.second.c_str());
        }
    }
    Say(L"progress trace: %zu archives in manifest order from archive %zu on (dialog published by then), "
        L"positions %ls the sizes, last position %d",
        archives.size() - start / 2, start / 2, exactPositions ? L"exactly as computed from" : L"rising with", last);
}

void Install() {
    const std::wstring game = Option(L"game");
    const std::wstring gameDir = WithBackslash(game);
    const int failing = _wtoi(Option(L"failing", L"0").c_str());
    const bool companion = Option(L"companion", L"1") == L"1";
    const bool progressOptional = Option(L"progress") == L"optional";
    const DWORD runTimeout = static_cast<DWORD>(_wtoi(Option(L"timeout", L"120").c_str())) * 1000;
    SetPicks(game);

    StartTarget(Option(L"setup"));
    HWND folder = AgreeToNotice(true);
    CheckFolderDialog(folder);
    Screenshot(L"02-folder");
    Pause();
    HWND browser = OpenBrowser(folder);
    if (browser) ChooseInBrowser(browser, game, L"03-browser");
    // The player's wait starts when the folder is accepted (with the scripted picker, at
    // 下一步: the installer then goes straight on).
    LARGE_INTEGER frequency, accepted, closingSeen;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&accepted);
    const DWORD sampleMs = static_cast<DWORD>(_wtoi(Option(L"sample", L"15").c_str()));
    unsigned looks = 0;

    // The run: the progress dialog comes up and moves; patch errors, if expected, are
    // confirmed; the closing message ends it.
    HWND progress = nullptr;
    std::vector<Sample> samples;
    int errors = 0, lastShotDecile = -1;
    const DWORD start = GetTickCount();
    HWND closing = nullptr;
    while (!closing) {
        ++looks;
        for (const FoundWindow& w : TargetWindows()) {
            if (w.kind == WindowKind::Progress) {
                if (!progress) {
                    progress = w.hwnd;
                    Say(L"progress dialog is up");
                    if (!progressOptional) {
                        CheckProgressDialog(progress, gameDir);
                        // It has no buttons and cannot be closed.
                        PressCloseBox(progress);
                        PressEscape(progress);
                    }
                }
                DWORD_PTR position = 0;
                // A dialog that went away since it was listed (the run may end before the
                // first look is over, and the next message the progress thread takes, this
                // driver's own Escape among them, ends it) gives no sample, not position 0.
                if (!SendMessageTimeoutW(GetDlgItem(progress, 1001), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000,
                                         &position))
                    continue;
                std::wstring file = WindowText(GetDlgItem(progress, 1005));
                if (samples.empty() || samples.back().file != file ||
                    samples.back().position != static_cast<int>(position))
                    samples.push_back({file, static_cast<int>(position)});
                const int decile = static_cast<int>(position) / 10;
                if (decile != lastShotDecile && !file.empty()) {
                    wchar_t name[32];
                    _snwprintf(name, 31, L"07-progress-%03d", static_cast<int>(position));
                    name[31] = 0;
                    Screenshot(name);
                    Say(L"progress %d%%: %ls", static_cast<int>(position), file.c_str());
                    lastShotDecile = decile;
                }
            } else if (w.kind == WindowKind::MessageBox) {
                const std::wstring caption = w.caption;
                if (caption == L"错误") {
                    ++errors;
                    Say(L"error message %d: %ls", errors, MessageBoxText(w.hwnd).c_str());
                    CheckInsideWorkArea(w.hwnd, L"the error message");
                    if (errors > failing) Fail(L"unexpected error message during the run");
                    if (errors == 1) Screenshot(L"08-archive-error");
                    PressButton(w.hwnd, IDOK);
                    WaitForWindowGone(w.hwnd, 10000, L"the error message");
                } else {
                    closing = w.hwnd;
                    QueryPerformanceCounter(&closingSeen);
                }
            } else if (w.kind != WindowKind::Folder && w.kind != WindowKind::Browser) {
                // The dialog and the browser may still be closing when the run starts.
                Fail(L"unexpected window during the run: %ls", DescribeWindows({w}).c_str());
            }
        }
        DWORD code = 0;
        if (!closing && TargetEnded(&code)) Fail(L"the installer ended during the run (exit code %lu)", code);
        if (GetTickCount() - start > runTimeout) Fail(L"the run did not finish within %lu s", runTimeout / 1000);
        if (!closing) Sleep(sampleMs);
    }
    // Seen at the latest one sampling interval after it came up.
    wprintf(L"E2E TIMING run_ms=%.1f sample_ms=%lu looks=%u errors=%d\n",
            double(closingSeen.QuadPart - accepted.QuadPart) * 1000.0 / double(frequency.QuadPart), sampleMs,
            looks, errors);
    fflush(stdout);
    Sleep(150);
    if (!progress && !progressOptional) Fail(L"the progress dialog never showed");
    if (!progress) Say(L"the run was over before its progress dialog was looked at");
    if (errors != failing) Fail(L"%d archive error messages, expected %d", errors, failing);

    // What the progress dialog showed while it ran.
    int last = -1;
    size_t files = 0;
    std::wstring previous;
    for (const Sample& s : samples) {
        if (s.position < last) Fail(L"progress fell from %d to %d", last, s.position);
        last = s.position;
        if (!s.file.empty() && s.file != previous) {
            if (s.file.compare(0, gameDir.size(), gameDir) != 0)
                Fail(L"progress dialog shows %ls, not a file in the game folder", s.file.c_str());
            ++files;
            previous = s.file;
        }
    }
    Say(L"progress dialog: seen %zu archive names, positions rising to %d, in %lu ms", files, last,
        GetTickCount() - start);
    if (!Option(L"min-position").empty() && last < _wtoi(Option(L"min-position").c_str()))
        Fail(L"the progress bar ended at %d", last);

    if (failing) {
        wchar_t count[64];
        _snwprintf(count, 63, L"共%d个游戏文件", failing);
        count[63] = 0;
        ConfirmMessage(L"安装未完成", count, false, L"09-closing");
    } else if (!companion) {
        ConfirmMessage(L"安装未完成", L"KSTRLangSet.exe", false, L"09-closing");
    } else {
        ConfirmMessage(L"成功安装",
                       L"您已经成功安装了Kestrune 1.2版汉化补丁！在您开始游戏之前，请先运行游戏目录下的KSTRLangSet.exe！",
                       true, L"09-closing");
    }
    ExpectExitCode0();
    if (!Option(L"trace").empty()) CheckTrace(gameDir, failing == 0, progressOptional);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: e2e_driver SCENARIO key=value...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        std::wstring arg = argv[i];
        size_t eq = arg.find(L'=');
        if (eq != std::wstring::npos) g_options[arg.substr(0, eq)] = arg.substr(eq + 1);
    }
    g_target.shotDir = Option(L"shots");
    if (!g_target.shotDir.empty()) CreateDirectoryW(g_target.shotDir.c_str(), nullptr);
    g_scriptedPicker = Option(L"picker", L"shell") == L"script";
    g_pause = static_cast<DWORD>(_wtoi(Option(L"pause", L"0").c_str()));

    const std::wstring scenario = argv[1];
    Say(L"scenario %ls", scenario.c_str());
    // The display's scaling the run is meant for (the prefix's LogPixels).
    const int dpi = _wtoi(Option(L"dpi", L"0").c_str());
    if (dpi && ScreenDpi() != dpi) Fail(L"the session's display is at %d DPI, not %d", ScreenDpi(), dpi);
    if (dpi) Say(L"display at %d DPI", dpi);
    PlaceHook();
    if (scenario == L"disagree") Disagree();
    else if (scenario == L"refuse-folder") RefuseFolder();
    else if (scenario == L"cancel-browser") CancelBrowser();
    else if (scenario == L"not-game") NotGame();
    else if (scenario == L"long-path") LongPath();
    else if (scenario == L"install") Install();
    else Fail(L"unknown scenario %ls", scenario.c_str());
    wprintf(L"E2E PASS %ls\n", scenario.c_str());
    return 0;
}
