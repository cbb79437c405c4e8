// KSTRLangSet.exe driven like a user: started in a folder with generated game executables,
// its dialog found and its buttons pressed, each message box read and confirmed, and the
// executables checked to the byte afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const unsigned char kAnchorBytes[12] = {0x0F, 0x7E, 0x44, 0x24, 0x44, 0x6A, 0x11, 0x66, 0x0F, 0xD6, 0x46, 0x30};
const unsigned char kChinese[6] = {0xB8, 0x11, 0x04, 0x00, 0x00, 0x90};
const unsigned char kEnglish[6] = {0xB8, 0x09, 0x04, 0x00, 0x00, 0x90};
const wchar_t kDx9[] = L"Kestrune_DX9.exe";
const wchar_t kDx10[] = L"Kestrune_DX10.exe";
const wchar_t kDialogCaption[] = L"中英文切换";
const wchar_t kNotRecognised[] =
    L"无法识别您的EXE文件，请在控制面板-〉区域和语言设置中修改您的语言为“日语”来启动中文版";
const DWORD kTimeoutMs = 15000;

std::string Narrow(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Env(const wchar_t* name) {
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? value : L"";
}

// Random bytes with the anchor placed at each of `anchors`; the anchor's first eight bytes
// (a partial match) at each of `partials`.
Bytes MakeExe(size_t size, uint32_t seed, const std::vector<size_t>& anchors,
              const std::vector<size_t>& partials = {}) {
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& byte : b) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = static_cast<unsigned char>(x >> 7);
    }
    for (size_t at : partials) std::memcpy(&b[at], kAnchorBytes, 8);
    for (size_t at : anchors) std::memcpy(&b[at], kAnchorBytes, 12);
    return b;
}

Bytes WithCode(Bytes b, size_t anchor, const unsigned char* code) {
    std::memcpy(&b[anchor + 18], code, 6);
    return b;
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return CloseHandle(h) && ok;
}

bool ReadBytes(const std::wstring& path, Bytes* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes->assign(GetFileSize(h, nullptr), 0);
    DWORD got = 0;
    bool ok = bytes->empty() || (ReadFile(h, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) &&
                                 got == bytes->size());
    CloseHandle(h);
    return ok;
}

// Position of the first byte that differs, for a readable failure.
std::string Compare(const Bytes& got, const Bytes& want) {
    if (got.size() != want.size())
        return "size " + std::to_string(got.size()) + " instead of " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) return "first difference at offset " + std::to_string(i);
    return "";
}

// A folder of its own under the Windows temp folder, removed with its files afterwards.
class GameFolder {
public:
    GameFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        m_path = std::wstring(temp) + L"kstr-langset-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++serial) + L"\\";
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~GameFolder() {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((m_path + L"*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((m_path + data.cFileName).c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(m_path.c_str());
    }
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }
    const std::wstring& Path() const { return m_path; }

    void Put(const wchar_t* name, const Bytes& bytes) { ASSERT_TRUE(WriteBytes(*this / name, bytes)); }
    void Expect(const wchar_t* name, const Bytes& want) const {
        Bytes got;
        ASSERT_TRUE(ReadBytes(*this / name, &got)) << Narrow(name);
        EXPECT_EQ(Compare(got, want), "") << Narrow(name);
    }

private:
    std::wstring m_path;
};

// ---- Windows of the switcher's process ----

struct WindowQuery {
    DWORD pid;
    const wchar_t* caption;  // exact caption, or null for any
    HWND exclude;
    HWND found;
};

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    return text;
}

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* q = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (pid != q->pid || hwnd == q->exclude || lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    if (q->caption && TextOf(hwnd) != q->caption) return TRUE;
    q->found = hwnd;
    return FALSE;
}

// A visible dialog of the process (with that caption, other than `exclude`), or null after
// the timeout or once the process has ended.
HWND WaitForDialog(HANDLE process, DWORD pid, const wchar_t* caption, HWND exclude) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kTimeoutMs) {
        WindowQuery q{pid, caption, exclude, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&q));
        if (q.found) return q.found;
        if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

struct Box {
    std::wstring caption, text;
};

class Switcher {
public:
    explicit Switcher(const GameFolder& folder) {
        const std::wstring exe = Env(L"KSTR_LANGSET_EXE");
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        m_started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.Path().c_str(), &si, &m_pi) != 0;
        if (m_started) m_dialog = WaitForDialog(m_pi.hProcess, m_pi.dwProcessId, kDialogCaption, nullptr);
    }
    ~Switcher() {
        if (!m_started) return;
        if (WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(m_pi.hProcess, 99);
        WaitForSingleObject(m_pi.hProcess, kTimeoutMs);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    bool Ready() const { return m_started && m_dialog; }
    HWND Dialog() const { return m_dialog; }

    void Click(int id) {
        PostMessageW(GetDlgItem(m_dialog, id), BM_CLICK, 0, 0);
    }
    // A command straight to the dialog procedure, as a second click would send it.
    void Command(int id) {
        PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_dialog, id)));
    }
    // Escape as typed on the control that has the focus.
    void PressEscape() {
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof(gui);
        GetGUIThreadInfo(m_pi.dwThreadId, &gui);
        HWND target = gui.hwndFocus ? gui.hwndFocus : m_dialog;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    }
    void CloseBox() { PostMessageW(m_dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

    // The next message box: its caption and text. Confirms it with OK unless told otherwise.
    Box NextBox(bool confirm = true) {
        Box box;
        HWND hwnd = WaitForDialog(m_pi.hProcess, m_pi.dwProcessId, nullptr, m_dialog);
        if (!hwnd) return box;
        box.caption = TextOf(hwnd);
        wchar_t text[512] = {};
        GetDlgItemTextW(hwnd, 0xFFFF, text, 512);
        box.text = text;
        m_box = hwnd;
        if (confirm) ConfirmBox();
        return box;
    }
    void ConfirmBox() {
        PostMessageW(m_box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_box, IDOK)));
        const DWORD start = GetTickCount();
        while (IsWindow(m_box) && GetTickCount() - start < kTimeoutMs) Sleep(10);
    }

    // True when the program ended by itself with exit code 0.
    bool Ended() {
        if (WaitForSingleObject(m_pi.hProcess, kTimeoutMs) != WAIT_OBJECT_0) return false;
        DWORD code = 1;
        GetExitCodeProcess(m_pi.hProcess, &code);
        return code == 0;
    }

private:
    bool m_started = false;
    PROCESS_INFORMATION m_pi = {};
    HWND m_dialog = nullptr;
    HWND m_box = nullptr;
};

void ExpectBox(const Box& box, const std::wstring& caption, const std::wstring& text) {
    EXPECT_EQ(Narrow(box.caption), Narrow(caption));
    EXPECT_EQ(Narrow(box.text), Narrow(text));
}

// A generated DX9 executable whose anchor straddles the switcher's first 1 MiB read, and a
// DX10 executable whose anchor starts at the ninth byte of a partial match, followed by a
// second anchor that must stay untouched.
struct GameExes {
    size_t dx9Anchor = (1u << 20) - 5;
    size_t dx10Anchor = 600008;
    Bytes dx9 = MakeExe(1500000, 9, {dx9Anchor});
    Bytes dx10 = MakeExe(1200000, 10, {dx10Anchor, 900000}, {600000});
};

const int kChineseButton = 1001;
const int kEnglishButton = 1000;

} // namespace

TEST(LangSetGui, DialogAsTheUserSeesIt) {
    GameFolder folder;
    Switcher sw(folder);
    ASSERT_TRUE(sw.Ready()) << "no dialog captioned 中英文切换 appeared";
    HWND dlg = sw.Dialog();
    EXPECT_EQ(Narrow(TextOf(GetDlgItem(dlg, kChineseButton))), "设置为中文版");
    EXPECT_EQ(Narrow(TextOf(GetDlgItem(dlg, kEnglishButton))), "设置为英文版");
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dlg, kChineseButton), GWL_STYLE) & BS_DEFPUSHBUTTON);
    wchar_t cls[64] = {};
    GetClassNameW(GetDlgItem(dlg, 1002), cls, 64);
    EXPECT_EQ(Narrow(cls), "msctls_progress32");
    sw.CloseBox();
    EXPECT_TRUE(sw.Ended());
}

TEST(LangSetGui, ChineseThenEnglishRewritesOnlyTheCodeBehindTheFirstAnchor) {
    GameFolder folder;
    GameExes exes;
    folder.Put(kDx9, exes.dx9);
    folder.Put(kDx10, exes.dx10);
    {
        Switcher sw(folder);
        ASSERT_TRUE(sw.Ready());
        sw.Click(kChineseButton);
        Box first = sw.NextBox(false);
        ExpectBox(first, L"成功设置", kDx9);
        // The dialog stays clickable behind the message box: a second choice is ignored.
        sw.Command(kEnglishButton);
        sw.ConfirmBox();
        ExpectBox(sw.NextBox(), L"成功设置", kDx10);
        EXPECT_TRUE(sw.Ended());
    }
    folder.Expect(kDx9, WithCode(exes.dx9, exes.dx9Anchor, kChinese));
    folder.Expect(kDx10, WithCode(exes.dx10, exes.dx10Anchor, kChinese));
    {
        Switcher sw(folder);
        ASSERT_TRUE(sw.Ready());
        sw.Click(kEnglishButton);
        ExpectBox(sw.NextBox(), L"成功设置", kDx9);
        ExpectBox(sw.NextBox(), L"成功设置", kDx10);
        EXPECT_TRUE(sw.Ended());
    }
    folder.Expect(kDx9, WithCode(exes.dx9, exes.dx9Anchor, kEnglish));
    folder.Expect(kDx10, WithCode(exes.dx10, exes.dx10Anchor, kEnglish));
}

TEST(LangSetGui, MissingExecutableIsReportedAndTheOtherStillHandled) {
    GameFolder folder;
    GameExes exes;
    folder.Put(kDx10, exes.dx10);
    Switcher sw(folder);
    ASSERT_TRUE(sw.Ready());
    sw.Click(kChineseButton);
    ExpectBox(sw.NextBox(), L"无法打开", kDx9);
    ExpectBox(sw.NextBox(), L"成功设置", kDx10);
    EXPECT_TRUE(sw.Ended());
    folder.Expect(kDx10, WithCode(exes.dx10, exes.dx10Anchor, kChinese));
    EXPECT_EQ(GetFileAttributesW((folder / kDx9).c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is created";
}

TEST(LangSetGui, ExecutableWithoutTheAnchorIsNotRecognisedAndLeftAlone) {
    GameFolder folder;
    GameExes exes;
    const Bytes plain = MakeExe(1100000, 5, {}, {1000, 50000});
    folder.Put(kDx9, plain);
    folder.Put(kDx10, exes.dx10);
    Switcher sw(folder);
    ASSERT_TRUE(sw.Ready());
    sw.Click(kEnglishButton);
    ExpectBox(sw.NextBox(), L"注意", kNotRecognised);
    ExpectBox(sw.NextBox(), L"成功设置", kDx10);
    EXPECT_TRUE(sw.Ended());
    folder.Expect(kDx9, plain);
    folder.Expect(kDx10, WithCode(exes.dx10, exes.dx10Anchor, kEnglish));
}

TEST(LangSetGui, TinyFilesAndAnchorsWithoutRoomForTheCodeAreNotRecognised) {
    GameFolder folder;
    const Bytes tiny = {0x0F, 0x7E, 0x44, 0x24, 0x44};
    const size_t size = 300000;
    const Bytes nearEnd = MakeExe(size, 6, {size - 20});  // the code would end 4 bytes past the end
    folder.Put(kDx9, tiny);
    folder.Put(kDx10, nearEnd);
    {
        Switcher sw(folder);
        ASSERT_TRUE(sw.Ready());
        sw.Click(kChineseButton);
        ExpectBox(sw.NextBox(), L"注意", kNotRecognised);
        ExpectBox(sw.NextBox(), L"注意", kNotRecognised);
        EXPECT_TRUE(sw.Ended());
    }
    folder.Expect(kDx9, tiny);
    folder.Expect(kDx10, nearEnd);

    // An anchor 24 bytes from the end leaves exactly the room for the code.
    const Bytes justFits = MakeExe(size, 7, {size - 24});
    folder.Put(kDx9, justFits);
    Switcher sw(folder);
    ASSERT_TRUE(sw.Ready());
    sw.Click(kChineseButton);
    ExpectBox(sw.NextBox(), L"成功设置", kDx9);
    ExpectBox(sw.NextBox(), L"注意", kNotRecognised);
    EXPECT_TRUE(sw.Ended());
    folder.Expect(kDx9, WithCode(justFits, size - 24, kChinese));
    folder.Expect(kDx10, nearEnd);
}

TEST(LangSetGui, EscapeAndTheCloseBoxChangeNothing) {
    GameFolder folder;
    GameExes exes;
    folder.Put(kDx9, exes.dx9);
    folder.Put(kDx10, exes.dx10);
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        Switcher sw(folder);
        ASSERT_TRUE(sw.Ready());
        if (escape)
            sw.PressEscape();
        else
            sw.CloseBox();
        EXPECT_TRUE(sw.Ended()) << "the dialog did not end without a message";
    }
    folder.Expect(kDx9, exes.dx9);
    folder.Expect(kDx10, exes.dx10);
}

// At every display scaling (run-langset-gui.sh with KSTR_DPI): the dialog lies inside the work
// area, and each button shows its text whole in the dialog's font (宋体, 9 points, at the
// session's DPI) inside its edges.
TEST(LangSetGui, DialogOnTheScreenWithItsTextsWhole) {
    GameFolder folder;
    Switcher sw(folder);
    ASSERT_TRUE(sw.Ready()) << "no dialog captioned 中英文切换 appeared";
    HWND dlg = sw.Dialog();
    RECT r;
    GetWindowRect(dlg, &r);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(dlg, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    EXPECT_TRUE(r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom)
        << "dialog at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom << ", work area "
        << work.left << "," << work.top << "-" << work.right << "," << work.bottom;

    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    HFONT font = CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
    HGDIOBJ old = SelectObject(dc, font);
    for (int id : {kChineseButton, kEnglishButton}) {
        HWND button = GetDlgItem(dlg, id);
        RECT client, need = {0, 0, 0, 0};
        GetClientRect(button, &client);
        const std::wstring text = TextOf(button);
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
        const int room = client.right - 2 * (GetSystemMetrics(SM_CXEDGE) + 1);
        EXPECT_TRUE(need.right <= room && need.bottom <= client.bottom)
            << Narrow(text) << " at " << dpi << " DPI needs " << need.right << "x" << need.bottom << " pixels, has "
            << room << "x" << client.bottom;
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    sw.CloseBox();
    EXPECT_TRUE(sw.Ended());
}

// Not a check of its own: shows the dialog until run-langset-gui.sh has photographed the
// display, then leaves with Escape.
TEST(LangSetGui, DISABLED_ShowForScreenshot) {
    const std::wstring sync = Env(L"KSTR_LANGSET_SYNC");
    ASSERT_FALSE(sync.empty()) << "run through run-langset-gui.sh with KSTR_LANGSET_SHOT";
    GameFolder folder;
    GameExes exes;
    folder.Put(kDx9, exes.dx9);
    folder.Put(kDx10, exes.dx10);
    Switcher sw(folder);
    ASSERT_TRUE(sw.Ready());
    // The dialog's place on the display, for cropping, as "x y width height".
    SetForegroundWindow(sw.Dialog());
    RECT r;
    GetWindowRect(sw.Dialog(), &r);
    const std::string place = std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                              std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
    ASSERT_TRUE(WriteBytes(sync + L"\\ready", Bytes(place.begin(), place.end())));
    const DWORD start = GetTickCount();
    while (GetFileAttributesW((sync + L"\\done").c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 60000)
        Sleep(50);
    sw.PressEscape();
    EXPECT_TRUE(sw.Ended());
    folder.Expect(kDx9, exes.dx9);
    folder.Expect(kDx10, exes.dx10);
}
