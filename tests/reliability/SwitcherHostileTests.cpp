// The switcher's file step on game executables that may hold anything: sizes around the
// anchor's length and the scan's 1 MiB blocks, bytes full of anchor fragments, anchors at the
// very start, straddling a block, without room for the code behind them, twice. Each file gets
// exactly one message; the file changes only where a correct scan says, and only in the six
// bytes behind the first anchor.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
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

const wchar_t kExe[] = L"Kestrune_DX9.exe";

bool WriteBytes(const wchar_t* path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
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

// What a correct switcher does: the first anchor among starts 0 .. S - 13; the code written
// at anchor + 18 when it fits in the file, otherwise the file is not recognised.
bool ExpectedRewrite(const Bytes& in, Bytes* out) {
    for (size_t p = 0; p + kAnchorSize < in.size(); ++p) {
        if (std::memcmp(&in[p], kAnchor, kAnchorSize) != 0) continue;
        if (p + kLanguageCodeOffset + kLanguageCodeSize > in.size()) return false;
        *out = in;
        std::memcpy(&(*out)[p + kLanguageCodeOffset], kChineseCode, kLanguageCodeSize);
        return true;
    }
    return false;
}

struct Rng {
    uint32_t x;
    uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

// Bytes drawn mostly from the anchor's own bytes, so that partial matches are everywhere.
Bytes HostileBytes(size_t size, Rng& rng) {
    Bytes b(size);
    for (auto& c : b) c = rng.Below(4) ? kAnchor[rng.Below(kAnchorSize)] : static_cast<unsigned char>(rng.Next());
    return b;
}

void Plant(Bytes& b, int64_t at, size_t length = kAnchorSize) {
    for (size_t i = 0; i < length; ++i)
        if (at + int64_t(i) >= 0 && at + int64_t(i) < int64_t(b.size())) b[at + i] = kAnchor[i];
}

class SwitcherHostile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp) + L"kstr-switcher-hostile-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_dir.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, m_previousDir);
        ASSERT_TRUE(SetCurrentDirectoryW(m_dir.c_str()));
        g_exeMessageHook = RecordMessage;
    }
    void TearDown() override {
        g_exeMessageHook = nullptr;
        SetFileAttributesW(kExe, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(kExe);
        RemoveDirectoryW(kExe);
        SetCurrentDirectoryW(m_previousDir);
        RemoveDirectoryW(m_dir.c_str());
    }

    // One file through the switcher; false (with the failure added) on a wrong outcome.
    bool Check(const std::string& what, const Bytes& content) {
        g_messages.clear();
        if (!WriteBytes(kExe, content)) {
            ADD_FAILURE() << what << ": cannot write the file";
            return false;
        }
        PatchGameExe(nullptr, kExe, kChineseCode);
        Bytes want;
        const bool recognised = ExpectedRewrite(content, &want);
        if (!recognised) want = content;
        bool ok = true;
        if (g_messages.size() != 1) {
            ADD_FAILURE() << what << ": " << g_messages.size() << " messages instead of one";
            ok = false;
        } else if (g_messages[0].caption != (recognised ? L"成功设置" : L"注意")) {
            ADD_FAILURE() << what << ": wrong message (size " << content.size() << ", expected "
                          << (recognised ? "success" : "not recognised") << ")";
            ok = false;
        }
        if (ReadBytes(kExe) != want) {
            ADD_FAILURE() << what << ": the file holds the wrong bytes";
            ok = false;
        }
        return ok;
    }

private:
    std::wstring m_dir;
    wchar_t m_previousDir[MAX_PATH] = {};
};

TEST_F(SwitcherHostile, EdgeSizesAndAnchorPlacements) {
    Rng rng{0xC0FFEEu};
    const size_t block = kScanBufferSize;
    struct Case {
        std::string what;
        size_t size;
        std::vector<int64_t> anchors; // negative: counted from the end
    };
    const std::vector<Case> cases = {
        {"empty", 0, {}},
        {"one byte", 1, {}},
        {"11 bytes", 11, {}},
        {"anchor alone (12 bytes, its start is not examined)", 12, {0}},
        {"anchor and one byte (no room)", 13, {0}},
        {"anchor with exactly room for the code", 24, {0}},
        {"anchor one byte short of room", 23, {0}},
        {"anchor at the last start examined", 100, {-13}},
        {"anchor in the window not examined", 100, {-12}},
        {"anchor ending at the file's end", 100, {-24}},
        {"two anchors: only the first counts", 5000, {300, 4000}},
        {"first anchor without room, none after", 5000, {-20}},
        {"anchor ending where 1 MiB ends", block + 100, {int64_t(block) - 12}},
        {"anchor straddling 1 MiB", 2 * block, {int64_t(block) - 6}},
        {"anchor starting at 1 MiB", block + 64, {int64_t(block)}},
        {"file one block long, anchor at its end", block, {-24}},
    };
    for (const auto& c : cases) {
        Bytes b = HostileBytes(c.size, rng);
        for (auto& x : b)
            if (x == kAnchor[0]) x = 0x11; // no stray anchors: only the planted ones
        for (int64_t at : c.anchors) Plant(b, at < 0 ? int64_t(c.size) + at : at);
        Check(c.what, b);
    }
}

// Random contents full of anchor fragments; CI runs 120 files, KSTR_LONG_TESTS=1 1,500.
TEST_F(SwitcherHostile, RandomContentsAreEitherPatchedExactlyOrLeftAlone) {
    wchar_t longMode[8] = L"";
    GetEnvironmentVariableW(L"KSTR_LONG_TESTS", longMode, 8);
    const int cases = lstrcmpW(longMode, L"1") == 0 ? 1500 : 120;
    Rng rng{0x5EED5u};
    int recognised = 0, failures = 0;
    for (int k = 0; k < cases && failures < 5; ++k) {
        const uint32_t sizes[] = {rng.Below(40), rng.Below(300), rng.Below(70000),
                                  static_cast<uint32_t>(kScanBufferSize) - 40 + rng.Below(80), rng.Below(2500000)};
        Bytes b = HostileBytes(sizes[rng.Below(5)], rng);
        for (uint32_t n = rng.Below(3); n; --n) {
            int64_t at = rng.Below(2) ? int64_t(b.size()) - int64_t(rng.Below(30)) : int64_t(rng.Below(uint32_t(b.size()) + 1));
            Plant(b, at, rng.Below(4) ? kAnchorSize : 1 + rng.Below(kAnchorSize)); // whole or partial
        }
        Bytes want;
        recognised += ExpectedRewrite(b, &want);
        if (!Check("case " + std::to_string(k), b)) ++failures;
    }
    std::printf("%d hostile executables, %d recognised\n", cases, recognised);
    EXPECT_GT(recognised, cases / 10);
    EXPECT_LT(recognised, cases - cases / 10);
}

TEST_F(SwitcherHostile, FolderInPlaceOfTheExecutableIsReportedAndLeftAlone) {
    ASSERT_TRUE(CreateDirectoryW(kExe, nullptr));
    g_messages.clear();
    PatchGameExe(nullptr, kExe, kChineseCode);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].caption, L"无法打开");
    EXPECT_NE(GetFileAttributesW(kExe) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

} // namespace
