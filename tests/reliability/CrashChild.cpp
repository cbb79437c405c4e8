// The patching run as a process that the crash harness (crash_harness.py) can stop at an
// exact file operation and kill.
//
//   crash_child.exe DATA GAME [--trace] [--stop-at K]
//
// DATA holds patch\manifest.bin and patch\payload.bin (a gamegen folder) and, if present,
// patch\fingerprints.bin, which the run then checks every archive against as the installer
// does; GAME is the game folder to patch. Every file operation of the patcher passes the I/O seam, where it is
// numbered from 1 in run order. --trace prints one line per operation ("OP k kind");
// --stop-at K prints "STOPPED k kind" before operation K runs and then waits to be killed.
// Messages that would reach the user are printed ("MESSAGE caption: text") instead of
// shown, and the run ends with "RESULT archives=A failed=F messages=M".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "win/IoFaults.h"
#include "core/LoadedPatch.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "win/UserMessage.h"

namespace {

const char* const kOpNames[] = {"Copy", "Open", "Create", "Read", "Write", "Seek", "Flush", "Delete", "Alloc"};

long g_opCount = 0;
long g_stopAt = 0;
bool g_trace = false;
unsigned g_messageCount = 0;

void Line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool CountingHook(IoOp op) {
    long k = ++g_opCount;
    const char* name = kOpNames[static_cast<int>(op)];
    if (g_trace) Line("OP " + std::to_string(k) + " " + name);
    if (k == g_stopAt) {
        Line("STOPPED " + std::to_string(k) + " " + name);
        for (;;) Sleep(INFINITE); // the harness kills the process here
    }
    return false; // never fails an operation: the harness's faults are kills
}

void PrintMessage(HWND, const wchar_t* text, const wchar_t* caption) {
    ++g_messageCount;
    std::wstring flat = text;
    for (auto& c : flat)
        if (c == L'\n' || c == L'\r') c = L' ';
    Line("MESSAGE " + Narrow(caption) + ": " + Narrow(flat));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        Line("usage: crash_child DATA GAME [--trace] [--stop-at K]");
        return 2;
    }
    std::wstring data = argv[1], game = argv[2];
    if (data.back() != L'\\') data += L'\\';
    if (game.back() != L'\\') game += L'\\';
    for (int i = 3; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--trace") g_trace = true;
        else if (arg == L"--stop-at" && i + 1 < argc) g_stopAt = _wtol(argv[++i]);
    }

    PatchFiles patch(data + L"patch\\");
    switch (patch.load) {
    case PatchLoad::Loaded: break;
    case PatchLoad::ManifestUnusable: Line("ERROR the manifest does not parse"); return 3;
    case PatchLoad::PayloadMissing: Line("ERROR cannot read the patch files"); return 3;
    case PatchLoad::FingerprintsMalformed: Line("ERROR the fingerprints do not parse"); return 3;
    case PatchLoad::ProgressTotalMalformed: Line("ERROR the progress total does not parse"); return 3;
    case PatchLoad::InstallerDamaged: Line("ERROR the patch differs from its digest"); return 3;
    }
    if (!patch.fingerprints.empty()) Line("FINGERPRINTS loaded");
    lstrcpynW(g_gameDir, game.c_str(), kPathUnits);

    g_userMessageHook = PrintMessage;
    g_ioFaultHook = CountingHook;
    PatchRunResult result = PatchAllArchives(patch.loaded, nullptr);
    g_ioFaultHook = nullptr;
    Line("RESULT archives=" + std::to_string(result.archiveCount) + " failed=" +
         std::to_string(result.failedCount) + " messages=" + std::to_string(g_messageCount) +
         " ops=" + std::to_string(g_opCount));
    return 0;
}
