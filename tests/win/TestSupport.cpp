#include "TestSupport.h"

#include "archive/ArchiveFile.h"
#include "setup/ArchiveReport.h"
#include "win/UserMessage.h"

Bytes MarkedCopy(const Bytes& archive) {
    Bytes copy = archive;
    unsigned char mark[kCopyMarkSize];
    MakeCopyMark(archive.size(), mark);
    copy.insert(copy.end(), mark, mark + kCopyMarkSize);
    return copy;
}

bool WriteWholeFile(const std::wstring& path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
}

bool ReadWholeFile(const std::wstring& path, Bytes* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    bytes->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes->size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1 << 24));
        if (!ReadFile(h, bytes->data() + done, want, &got, nullptr) || got == 0) break;
        done += got;
    }
    CloseHandle(h);
    return done == bytes->size();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

uint64_t LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

bool SetLastWriteTime(const std::wstring& path, uint64_t time) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME t{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    BOOL ok = SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
    return ok != 0;
}

FixturePatch::FixturePatch(std::vector<FixtureRecord> r) : records(std::move(r)) {
    for (const auto& rec : records)
        entries.push_back({rec.index, rec.sizeWord, static_cast<uint32_t>(rec.data.size()), 0, rec.data.data()});
}

int FixturePatch::Apply(const std::wstring& path) const { return ReportArchiveOutcome(Outcome(path)) ? 1 : 0; }

ArchiveOutcome FixturePatch::Outcome(const std::wstring& path) const {
    return PatchArchive(path.c_str(), entries.data(), static_cast<uint32_t>(entries.size()));
}

FixturePatch TypicalPatch() {
    return FixturePatch({
        {3, 0x0040002C, Pattern(200000, 11)},       // shrinks
        {0, 0x4000414C, Pattern(9000, 12)},         // grows, bit 30 already set
        {4, 0x0004002C, Pattern(77, 13)},           // same length, new size word
        {2, 0x00000001, Pattern(5, 14)},            // a zero-length entry gains data
    });
}

ScratchDir::ScratchDir() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        m_path = std::wstring(temp) + L"kstr-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter);
        if (CreateDirectoryW(m_path.c_str(), nullptr)) break;
    }
    m_path += L"\\";
}

ScratchDir::~ScratchDir() { RemoveTree(m_path.substr(0, m_path.size() - 1)); }

static bool ForEachChild(const std::wstring& folder, bool (*fn)(const std::wstring&, const WIN32_FIND_DATAW&, void*), void* ctx) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        ok = fn(folder + L"\\" + name, data, ctx) && ok;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return ok;
}

bool RemoveTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(path.c_str()) != 0;
    }
    ForEachChild(path, [](const std::wstring& child, const WIN32_FIND_DATAW&, void*) { return RemoveTree(child); }, nullptr);
    return RemoveDirectoryW(path.c_str()) != 0;
}

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    struct Ctx { std::wstring from, to; } ctx{from, to};
    return ForEachChild(from, [](const std::wstring& child, const WIN32_FIND_DATAW& data, void* p) {
        auto* c = static_cast<Ctx*>(p);
        std::wstring target = c->to + L"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return CopyTree(child, target);
        return CopyFileW(child.c_str(), target.c_str(), FALSE) != 0;
    }, &ctx);
}

std::vector<std::wstring> FindTempFiles(const std::wstring& folder) {
    std::vector<std::wstring> found;
    ForEachChild(folder, [](const std::wstring& child, const WIN32_FIND_DATAW& data, void* p) {
        auto* out = static_cast<std::vector<std::wstring>*>(p);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            auto inner = FindTempFiles(child);
            out->insert(out->end(), inner.begin(), inner.end());
        } else if (child.size() > 4 && _wcsicmp(child.c_str() + child.size() - 4, L".tmp") == 0) {
            out->push_back(child);
        }
        return true;
    }, &found);
    return found;
}

namespace {
std::vector<RecordedMessage> g_messages;
void RecordMessage(HWND, const wchar_t* text, const wchar_t* caption) { g_messages.push_back({text, caption}); }

IoOp g_faultOp;
int g_faultNth = 0;
int g_faultSeen[16] = {};
bool FaultHook(IoOp op) {
    int seen = ++g_faultSeen[static_cast<int>(op)];
    return op == g_faultOp && seen == g_faultNth;
}
} // namespace

MessageRecorder::MessageRecorder() {
    g_messages.clear();
    g_userMessageHook = RecordMessage;
}
MessageRecorder::~MessageRecorder() { g_userMessageHook = nullptr; }
const std::vector<RecordedMessage>& MessageRecorder::Messages() const { return g_messages; }
void MessageRecorder::Clear() { g_messages.clear(); }

FaultPlan::FaultPlan(IoOp op, int nth) {
    g_faultOp = op;
    g_faultNth = nth;
    for (int& s : g_faultSeen) s = 0;
    g_ioFaultHook = FaultHook;
}
FaultPlan::~FaultPlan() { g_ioFaultHook = nullptr; }
int FaultPlan::Count(IoOp op) { return g_faultSeen[static_cast<int>(op)]; }

std::wstring PatchPartPath(const std::wstring& patchDir, PatchPart part) {
    const char* name = PatchPartInfoOf(part).fileName;
    return patchDir + std::wstring(name, name + lstrlenA(name)); // the names are ASCII
}

PatchFiles::PatchFiles(const std::wstring& patchDir, bool withFingerprints) {
    PatchBytes bytes;
    if (ReadWholeFile(PatchPartPath(patchDir, kPartManifest), &manifest))
        bytes[kPartManifest] = {manifest.data(), manifest.size()};
    if (ReadWholeFile(PatchPartPath(patchDir, kPartPayload), &payload))
        bytes[kPartPayload] = {payload.data(), payload.size()};
    if (withFingerprints && ReadWholeFile(PatchPartPath(patchDir, kPartFingerprints), &fingerprints))
        bytes[kPartFingerprints] = {fingerprints.data(), fingerprints.size()};
    load = LoadPatch(bytes, &loaded);
}

int PatchFiles::IndexOf(const std::wstring& name) const {
    for (uint32_t i = 0; i < loaded.setCount; ++i)
        if (name == reinterpret_cast<const wchar_t*>(loaded.sets[i].name)) return static_cast<int>(i);
    return -1;
}

std::string Narrow(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FolderFromEnvironment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    std::wstring path = value;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}
