// patch_bench: times the installer's patching run (PatchAllArchives with the real patcher)
// on a generated game folder, without the modal dialogs, and prints what it cost:
//
//   patch_bench --game DIR --patch DIR [--ui SETUP_EXE]
//
// DIR paths are Windows paths. The manifest is read from DIR\manifest.bin into the table
// the run works from; the payload file is mapped and read in place, as the installer reads
// its payload resource. DIR\fingerprints.bin, if present, is loaded as the installer loads
// its fingerprint resource, so each archive's table is checked before its rewrite. Every file call of the patcher is counted through the I/O seam
// (the hook only counts, it never fails a call). Memory figures come from the process's
// own counters: the peak working set for the whole process and the working set / private
// bytes sampled around the run. With --ui, the real progress window runs on its own thread
// (its dialog template taken from the given setup.exe) and a third thread measures how
// long the progress thread takes to answer a message while the main thread does the I/O.
//
// The last line is "RESULT key=value ...", which scripts/bench.sh reads.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cwchar>

#include "win/IoFaults.h"
#include "core/LoadedPatch.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "win/UserMessage.h"
#ifdef BENCH_PROGRESS_WINDOW
#include "setup/ProgressWindow.h"
#endif

namespace {

// ---- Counting the patcher's file calls --------------------------------------------------

constexpr int kOpKinds = 10;
const char* const kOpNames[kOpKinds] = {"copies", "opens", "creates", "reads", "writes",
                                        "seeks", "flushes", "deletes", "allocs", "renames"};
std::atomic<unsigned long long> g_opCounts[kOpKinds];

// Where the time goes: the hook sees every operation just before it runs, so the time from
// one operation to the next belongs to the phase of the rewrite that the first one began.
// Between archives: the delete of the copy, the size and the bar (t_other), then the next
// archive's fingerprint check and source choice, from its first open to its copy (t_check).
enum Phase { kCopy, kFlushCopy, kTable, kRewrite, kFlushArchive, kOther, kCheck, kPhases };
const char* const kPhaseNames[kPhases] = {"t_copy", "t_flush_copy", "t_table", "t_rewrite",
                                          "t_flush_archive", "t_other", "t_check"};
LONGLONG g_phaseTicks[kPhases];
LONGLONG g_lastTick = 0;
Phase g_phase = kOther;

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void EnterPhase(Phase next) {
    LONGLONG now = Now();
    g_phaseTicks[g_phase] += now - g_lastTick;
    g_lastTick = now;
    g_phase = next;
}

Phase PhaseAfter(IoOp op) {
    switch (op) {
    case IoOp::Copy: return kCopy;
    case IoOp::Open:
        if (g_phase == kOther) return kCheck;
        return g_phase == kCopy ? kFlushCopy : g_phase == kFlushCopy ? kTable : g_phase;
    case IoOp::Create: return kRewrite;
    case IoOp::Flush: return g_phase == kRewrite ? kFlushArchive : g_phase;
    case IoOp::Delete: return kOther;
    default: return g_phase;
    }
}

bool CountingHook(IoOp op) {
    g_opCounts[static_cast<int>(op)].fetch_add(1, std::memory_order_relaxed);
    Phase next = PhaseAfter(op);
    if (next != g_phase) EnterPhase(next);
    return false;
}

// ---- Messages the run would show ----------------------------------------------------------

std::atomic<int> g_messageCount{0};
void PrintMessage(HWND, const wchar_t* text, const wchar_t* caption) {
    ++g_messageCount;
    char line[2048];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line, nullptr, nullptr);
    char head[256];
    WideCharToMultiByte(CP_UTF8, 0, caption, -1, head, sizeof head, nullptr, nullptr);
    std::printf("patch_bench: message [%s] %s\n", head, line);
}

// ---- Memory ---------------------------------------------------------------------------------

struct MemorySample {
    SIZE_T workingSet = 0, peakWorkingSet = 0, privateBytes = 0;
};

MemorySample SampleMemory() {
    PROCESS_MEMORY_COUNTERS_EX c{};
    c.cb = sizeof c;
    MemorySample s;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c)) {
        s.workingSet = c.WorkingSetSize;
        s.peakWorkingSet = c.PeakWorkingSetSize;
        s.privateBytes = c.PagefileUsage; // private committed bytes (PrivateUsage is not filled in everywhere)
    }
    return s;
}

// Samples the working set and private bytes every few milliseconds while the run goes on.
std::atomic<bool> g_sampling{false};
SIZE_T g_sampledWorkingSet = 0, g_sampledPrivate = 0;
DWORD WINAPI SamplerThreadProc(LPVOID) {
    while (g_sampling.load()) {
        MemorySample s = SampleMemory();
        if (s.workingSet > g_sampledWorkingSet) g_sampledWorkingSet = s.workingSet;
        if (s.privateBytes > g_sampledPrivate) g_sampledPrivate = s.privateBytes;
        Sleep(5);
    }
    return 0;
}

// ---- Files ----------------------------------------------------------------------------------

bool ReadSmallFile(const wchar_t* path, unsigned char** bytes, size_t* size) {
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length;
    bool ok = GetFileSizeEx(h, &length) && length.QuadPart < (1 << 30);
    DWORD got = 0;
    if (ok) {
        *size = static_cast<size_t>(length.QuadPart);
        *bytes = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, *size ? *size : 1));
        ok = *bytes && (*size == 0 || (ReadFile(h, *bytes, static_cast<DWORD>(*size), &got, nullptr) && got == *size));
    }
    CloseHandle(h);
    return ok;
}

// Maps a file read-only and touches every page, so that the working set measured before
// the run already holds it.
const unsigned char* MapWholeFile(const wchar_t* path, size_t* size) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER length;
    const unsigned char* view = nullptr;
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0 && length.QuadPart < 0xFFFFFFFFll) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            view = static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
            CloseHandle(mapping);
        }
        *size = static_cast<size_t>(length.QuadPart);
    }
    CloseHandle(file);
    if (view) {
        volatile unsigned sum = 0;
        for (size_t i = 0; i < *size; i += 4096) sum = sum + view[i];
    }
    return view;
}

// ---- The progress window and its responsiveness ------------------------------------------

#ifdef BENCH_PROGRESS_WINDOW
std::atomic<bool> g_pinging{false};
DWORD g_pingMs = 10; // 0: nothing but the run talks to the window
double g_pingMaxMs = 0, g_pingTotalMs = 0;
unsigned g_pings = 0, g_pingsSlow = 0, g_pingsFailed = 0;

// Sends a message to the progress dialog every 10 ms and times the answer: the progress
// thread answers only while it waits for messages, so this is how long it stays busy.
DWORD WINAPI PingThreadProc(LPVOID) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    while (g_pinging.load()) {
        HWND dlg = g_hProgressDlg.load();
        if (dlg) {
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            DWORD_PTR result = 0;
            LRESULT answered = SendMessageTimeoutW(dlg, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            QueryPerformanceCounter(&t1);
            double ms = (t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart;
            if (!answered) ++g_pingsFailed;
            ++g_pings;
            g_pingTotalMs += ms;
            if (ms > g_pingMaxMs) g_pingMaxMs = ms;
            if (ms > 100.0) ++g_pingsSlow;
        }
        Sleep(g_pingMs);
    }
    return 0;
}
#endif

double Seconds(const FILETIME& t) {
    return double((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

void PrintUsage() {
    std::printf("usage: patch_bench --game DIR --patch DIR [--ui SETUP_EXE]\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* game = nullptr;
    const wchar_t* patch = nullptr;
    const wchar_t* ui = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!wcscmp(argv[i], L"--game")) game = argv[i + 1];
        else if (!wcscmp(argv[i], L"--patch")) patch = argv[i + 1];
        else if (!wcscmp(argv[i], L"--ui")) ui = argv[i + 1];
#ifdef BENCH_PROGRESS_WINDOW
        else if (!wcscmp(argv[i], L"--ping-ms")) g_pingMs = static_cast<DWORD>(_wtoi(argv[i + 1]));
#endif
        else {
            PrintUsage();
            return 2;
        }
    }
    if (!game || !patch || (argc % 2) == 0) {
        PrintUsage();
        return 2;
    }

    // The game folder, ending in a backslash as the folder dialog leaves it.
    lstrcpynW(g_gameDir, game, kPathUnits - 1);
    size_t dirLength = lstrlenW(g_gameDir);
    if (dirLength && g_gameDir[dirLength - 1] != L'\\') lstrcatW(g_gameDir, L"\\");

    wchar_t manifestPath[MAX_PATH], payloadPath[MAX_PATH];
    swprintf(manifestPath, MAX_PATH, L"%ls\\manifest.bin", patch);
    swprintf(payloadPath, MAX_PATH, L"%ls\\payload.bin", patch);
    unsigned char* manifest = nullptr;
    size_t manifestSize = 0, payloadSize = 0;
    if (!ReadSmallFile(manifestPath, &manifest, &manifestSize)) {
        std::printf("patch_bench: cannot read the manifest\n");
        return 1;
    }
    const unsigned char* payload = MapWholeFile(payloadPath, &payloadSize);
    if (!payload) {
        std::printf("patch_bench: cannot map the payload\n");
        return 1;
    }
    unsigned char* fingerprints = nullptr;
    size_t fingerprintsSize = 0;
    wchar_t fingerprintsPath[MAX_PATH];
    swprintf(fingerprintsPath, MAX_PATH, L"%ls\\fingerprints.bin", patch);
    bool haveFingerprints = GetFileAttributesW(fingerprintsPath) != INVALID_FILE_ATTRIBUTES;
    if (haveFingerprints && !ReadSmallFile(fingerprintsPath, &fingerprints, &fingerprintsSize)) {
        std::printf("patch_bench: cannot load the fingerprints\n");
        return 1;
    }
    PatchBytes bytes;
    bytes[kPartManifest] = {manifest, manifestSize};
    bytes[kPartPayload] = {payload, payloadSize};
    bytes[kPartFingerprints] = {fingerprints, fingerprintsSize};
    LoadedPatch loaded;
    if (LoadPatch(bytes, &loaded) != PatchLoad::Loaded) {
        std::printf("patch_bench: cannot load the patch\n");
        return 1;
    }
    HeapFree(GetProcessHeap(), 0, manifest);
    g_patchSetCount.store(loaded.setCount);
    g_userMessageHook = PrintMessage;

#ifdef BENCH_PROGRESS_WINDOW
    HANDLE progressThread = nullptr, pingThread = nullptr;
    if (ui) {
        g_hAppInstance = LoadLibraryExW(ui, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!g_hAppInstance) {
            std::printf("patch_bench: cannot load the dialog templates from the setup program\n");
            return 1;
        }
        progressThread = CreateThread(nullptr, 0, ProgressThreadProc, nullptr, 0, nullptr);
        for (int i = 0; i < 500 && !g_hProgressDlg.load(); ++i) Sleep(10);
        if (!g_hProgressDlg.load()) {
            std::printf("patch_bench: the progress window did not open\n");
            return 1;
        }
        if (g_pingMs) {
            g_pinging.store(true);
            pingThread = CreateThread(nullptr, 0, PingThreadProc, nullptr, 0, nullptr);
        }
    }
#else
    if (ui) {
        std::printf("patch_bench: built without the progress window\n");
        return 1;
    }
#endif

    MemorySample before = SampleMemory();
    g_sampledWorkingSet = before.workingSet;
    g_sampledPrivate = before.privateBytes;
    g_sampling.store(true);
    HANDLE sampler = CreateThread(nullptr, 0, SamplerThreadProc, nullptr, 0, nullptr);

    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelBefore, &userBefore);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    g_ioFaultHook = CountingHook;
    QueryPerformanceCounter(&start);
    g_lastTick = start.QuadPart;
    PatchRunResult result = PatchAllArchives(loaded, nullptr);
    EnterPhase(kOther);
    QueryPerformanceCounter(&end);
    g_ioFaultHook = nullptr;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelAfter, &userAfter);

    g_sampling.store(false);
    WaitForSingleObject(sampler, INFINITE);
    CloseHandle(sampler);
    MemorySample after = SampleMemory();
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);

    // The count dropping to 0 ends the progress thread's loop at its next message.
    g_patchSetCount.store(0);
    FreeLoadedPatch(&loaded);
#ifdef BENCH_PROGRESS_WINDOW
    if (ui) {
        g_pinging.store(false);
        if (pingThread) WaitForSingleObject(pingThread, INFINITE);
        HWND dlg = g_hProgressDlg.load();
        if (dlg) PostMessageW(dlg, WM_NULL, 0, 0);
        WaitForSingleObject(progressThread, 10000);
    }
#endif

    std::printf("patch_bench: %u archives, %u failed, %u already patched, %.3f s\n", result.archiveCount,
                result.failedCount, result.alreadyPatchedCount, seconds);
    std::printf("RESULT seconds=%.4f archives=%u failed=%u already=%u messages=%d fingerprints=%d", seconds,
                result.archiveCount, result.failedCount, result.alreadyPatchedCount, g_messageCount.load(),
                haveFingerprints ? 1 : 0);
    for (int k = 0; k < kOpKinds; ++k) std::printf(" %s=%llu", kOpNames[k], g_opCounts[k].load());
    for (int p = 0; p < kPhases; ++p)
        std::printf(" %s=%.4f", kPhaseNames[p], double(g_phaseTicks[p]) / double(frequency.QuadPart));
    std::printf(" cpu_user=%.4f cpu_kernel=%.4f", Seconds(userAfter) - Seconds(userBefore),
                Seconds(kernelAfter) - Seconds(kernelBefore));
    std::printf(" ws_before=%zu ws_peak_sampled=%zu ws_after=%zu ws_peak_process=%zu"
                " private_before=%zu private_peak_sampled=%zu private_after=%zu payload_bytes=%zu",
                before.workingSet, g_sampledWorkingSet, after.workingSet, after.peakWorkingSet,
                before.privateBytes, g_sampledPrivate, after.privateBytes, payloadSize);
#ifdef BENCH_PROGRESS_WINDOW
    if (ui)
        std::printf(" ui_pings=%u ui_failed=%u ui_slow=%u ui_max_ms=%.2f ui_mean_ms=%.3f", g_pings,
                    g_pingsFailed, g_pingsSlow, g_pingMaxMs, g_pings ? g_pingTotalMs / g_pings : 0.0);
#endif
    std::printf("\n");
    return result.failedCount == 0 && !result.payloadMissing ? 0 : 1;
}
