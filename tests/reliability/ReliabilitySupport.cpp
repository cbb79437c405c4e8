#include "ReliabilitySupport.h"

#include <cstdlib>
#include <cstring>

#include "setup/Globals.h"

MiniRun::MiniRun(const std::wstring& folder, const std::vector<MiniArchive>& archives) {
    auto* sets = static_cast<ArchivePatchSet*>(std::calloc(archives.size() + 1, sizeof(ArchivePatchSet)));
    for (size_t i = 0; i < archives.size(); ++i) {
        const MiniArchive& a = archives[i];
        ArchivePatchSet& set = sets[i];
        set.nameLength = static_cast<uint32_t>(a.name.size() + 1);
        set.name = static_cast<char16_t*>(std::calloc(set.nameLength, sizeof(char16_t)));
        std::memcpy(set.name, a.name.c_str(), a.name.size() * sizeof(char16_t));
        set.recordCount = static_cast<uint32_t>(a.records.size());
        set.records = static_cast<EntryPatch*>(std::calloc(a.records.size() + 1, sizeof(EntryPatch)));
        for (size_t r = 0; r < a.records.size(); ++r) {
            const FixtureRecord& rec = a.records[r];
            set.records[r] = {rec.index, rec.sizeWord, static_cast<uint32_t>(rec.data.size()),
                              static_cast<uint32_t>(m_payload.size()), nullptr};
            m_payload.insert(m_payload.end(), rec.data.begin(), rec.data.end());
        }
    }
    if (m_payload.empty()) m_payload.push_back(0);
    m_patch.sets = sets;
    m_patch.setCount = static_cast<uint32_t>(archives.size());
    m_patch.payload = m_payload.data();
    m_patch.payloadSize = static_cast<uint32_t>(m_payload.size());
    for (uint32_t i = 0; i < m_patch.setCount; ++i)
        sets[i].resolved = ResolvePatchSet(&sets[i], m_patch.payload, m_patch.payloadSize);
    lstrcpynW(g_gameDir, folder.c_str(), kPathUnits);
}

MiniRun::~MiniRun() {
    FreeLoadedPatch(&m_patch);
    g_gameDir[0] = 0;
}

bool MakeParentFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    return true;
}

namespace {
unsigned g_holderCounter = 0;
}

FileHolder::FileHolder(const std::wstring& path, DWORD shareMode, DWORD holdMs) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring event = L"Local\\kstr-holder-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                         std::to_wstring(++g_holderCounter);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --hold \"" + path + L"\" " +
                           std::to_wstring(shareMode) + L" " + std::to_wstring(holdMs) + L" " + event;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_process)) {
        HANDLE waits[2] = {ready, m_process.hProcess};
        m_holding = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }
    CloseHandle(ready);
}

FileHolder::~FileHolder() {
    Stop();
    if (m_process.hProcess) CloseHandle(m_process.hProcess);
    if (m_process.hThread) CloseHandle(m_process.hThread);
}

void FileHolder::Stop() {
    if (!m_process.hProcess) return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_process.hProcess, 0);
    WaitForSingleObject(m_process.hProcess, 30000);
}

int HoldFileMain(int argc, wchar_t** argv) {
    // --hold PATH SHARE MS EVENT
    if (argc < 6) return 2;
    DWORD share = static_cast<DWORD>(_wtol(argv[3]));
    DWORD ms = static_cast<DWORD>(_wtol(argv[4]));
    HANDLE file = CreateFileW(argv[2], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[5]);
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    Sleep(ms);
    CloseHandle(file);
    return 0;
}

std::wstring SmallFileSystem() {
    wchar_t value[MAX_PATH] = L"";
    if (!GetEnvironmentVariableW(L"KSTR_SMALLFS", value, MAX_PATH)) return L"";
    std::wstring folder = value;
    if (folder.empty()) return L"";
    if (folder.back() != L'\\') folder += L'\\';
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), nullptr, &total, nullptr)) return L"";
    // Only a volume of its own, far smaller than any ordinary disk, is the test's.
    return total.QuadPart && total.QuadPart <= 64ull << 20 ? folder : L"";
}

uint64_t FreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER available{};
    GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr);
    return available.QuadPart;
}

bool FillVolumeLeaving(const std::wstring& filler, uint64_t leave) {
    std::wstring folder = filler.substr(0, filler.rfind(L'\\') + 1);
    uint64_t free = FreeBytes(folder);
    if (free <= leave) return false;
    Bytes bytes(static_cast<size_t>(free - leave), 0xF1);
    return WriteWholeFile(filler, bytes);
}
