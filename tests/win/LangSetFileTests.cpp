// The switcher's file step with failing reads, seeks, writes and flushes: each failure is
// reported and never shown as "成功设置", and the executable keeps its bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/AnchorSearch.h"
#include "langset/PatchGameExe.h"
#include "langset/TestSeams.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Message {
    std::wstring text, caption;
};
std::vector<Message> g_messages;
void RecordMessage(const wchar_t* text, const wchar_t* caption) { g_messages.push_back({text, caption}); }

// Fails the Nth operation of one kind (counted from 1), or every one from the Nth on.
ExeIoOp g_faultOp;
int g_faultNth = 0;
bool g_faultSticky = false;
int g_faultSeen = 0;
bool FailNth(ExeIoOp op) {
    if (op != g_faultOp) return false;
    ++g_faultSeen;
    return g_faultSeen == g_faultNth || (g_faultSticky && g_faultSeen > g_faultNth);
}

std::string Narrow(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

bool WriteBytes(const wchar_t* path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(h) && ok;
}

Bytes ReadBytes(const wchar_t* path) {
    Bytes bytes;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) bytes.clear();
    CloseHandle(h);
    return bytes;
}

// The executable lies in a scratch folder that is the current directory, as in the game
// folder; its anchor straddles the first 1 MiB block.
class LangSetFile : public ::testing::Test {
protected:
    static constexpr size_t kAnchorAt = (1u << 20) - 5;

    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp) + L"kstr-langset-file-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_dir.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, m_previousDir);
        ASSERT_TRUE(SetCurrentDirectoryW(m_dir.c_str()));
        m_exe.resize(1500000);
        uint32_t x = 12345;
        for (auto& b : m_exe) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            b = static_cast<unsigned char>(x >> 9);
        }
        std::memcpy(&m_exe[kAnchorAt], kAnchor, kAnchorSize);
        ASSERT_TRUE(WriteBytes(L"Kestrune_DX9.exe", m_exe));
        g_messages.clear();
        g_exeMessageHook = RecordMessage;
    }
    void TearDown() override {
        g_exeMessageHook = nullptr;
        g_exeIoFaultHook = nullptr;
        DeleteFileW(L"Kestrune_DX9.exe");
        SetCurrentDirectoryW(m_previousDir);
        RemoveDirectoryW(m_dir.c_str());
    }

    Bytes Patched() const {
        Bytes b = m_exe;
        std::memcpy(&b[kAnchorAt + kLanguageCodeOffset], kChineseCode, kLanguageCodeSize);
        return b;
    }

    Bytes m_exe;

private:
    std::wstring m_dir;
    wchar_t m_previousDir[MAX_PATH] = {};
};

const wchar_t kReadError[] = L"读取此文件时出错，文件未被修改：\nKestrune_DX9.exe";
const wchar_t kWriteError[] = L"写入此文件时出错（文件可能正被其他程序使用），文件未被修改：\nKestrune_DX9.exe";
const wchar_t kDamaged[] =
    L"写入此文件时出错，且无法恢复其原有内容，文件可能已损坏。请从游戏安装盘或备份中恢复：\nKestrune_DX9.exe";

} // namespace

TEST_F(LangSetFile, WithoutFaultsTheCodeIsWritten) {
    PatchGameExe(nullptr, L"Kestrune_DX9.exe", kChineseCode);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(Narrow(g_messages[0].caption), "成功设置");
    EXPECT_EQ(Narrow(g_messages[0].text), "Kestrune_DX9.exe");
    EXPECT_TRUE(ReadBytes(L"Kestrune_DX9.exe") == Patched());
}

TEST_F(LangSetFile, EachFailureIsReportedAndLeavesTheFileAsItWas) {
    const struct {
        const char* what;
        ExeIoOp op;
        int nth;
        const wchar_t* text;
    } cases[] = {
        {"first block read", ExeIoOp::Read, 1, kReadError},
        {"second block read", ExeIoOp::Read, 2, kReadError},
        {"read of the bytes to replace", ExeIoOp::Read, 3, kReadError},
        {"seek to the bytes to replace", ExeIoOp::Seek, 1, kReadError},
        {"seek back to write", ExeIoOp::Seek, 2, kWriteError},
        {"write", ExeIoOp::Write, 1, kWriteError},
        // The write went through but did not reach the disk: the old bytes are put back.
        {"flush after the write", ExeIoOp::Flush, 1, kWriteError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteBytes(L"Kestrune_DX9.exe", m_exe));
        g_messages.clear();
        g_faultOp = c.op, g_faultNth = c.nth, g_faultSticky = false, g_faultSeen = 0;
        g_exeIoFaultHook = FailNth;
        PatchGameExe(nullptr, L"Kestrune_DX9.exe", kChineseCode);
        g_exeIoFaultHook = nullptr;
        EXPECT_GE(g_faultSeen, c.nth) << "the operation was never reached";
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_EQ(Narrow(g_messages[0].caption), "错误");
        EXPECT_EQ(Narrow(g_messages[0].text), Narrow(c.text));
        EXPECT_TRUE(ReadBytes(L"Kestrune_DX9.exe") == m_exe) << "the file was changed";
    }
}

TEST_F(LangSetFile, AWriteThatCannotBeUndoneIsReportedAsSuch) {
    // Every flush fails: the new code stays in the file and the user is told to restore it.
    g_faultOp = ExeIoOp::Flush, g_faultNth = 1, g_faultSticky = true, g_faultSeen = 0;
    g_exeIoFaultHook = FailNth;
    PatchGameExe(nullptr, L"Kestrune_DX9.exe", kChineseCode);
    g_exeIoFaultHook = nullptr;
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(Narrow(g_messages[0].caption), "错误");
    EXPECT_EQ(Narrow(g_messages[0].text), Narrow(kDamaged));
}
