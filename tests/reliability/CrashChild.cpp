// The patching run as a process that the crash harness (crash_harness.py) can stop at an
// exact file operation and kill.
//
//   crash_child.exe DATA GAME [--trace] [--stop-at K] [--record JOURNAL]
//
// DATA holds patch\manifest.bin and patch\payload.bin (a gamegen folder) and, if present,
// patch\fingerprints.bin, which the run then checks every archive against as the installer
// does; GAME is the game folder to patch. Every file operation of the patcher passes the I/O seam, where it is
// numbered from 1 in run order. --trace prints one line per operation ("OP k kind");
// --stop-at K prints "STOPPED k kind" before operation K runs and then waits to be killed.
// Messages that would reach the user are printed ("MESSAGE caption: text") instead of
// shown, and the run ends with "RESULT archives=A failed=F messages=M".
// --record writes every change the run made to the disk (the seam's change events) to
// JOURNAL, one line each (fields separated by tabs), with the written bytes in JOURNAL.bin (powercut_harness.py
// replays them):
//   CREATE path | OPENW path | WRITE path offset length binOffset | FLUSH path |
//   RENAME from to flags | DELETE path | COPY from to
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "TestSupport.h"
#include "win/IoFaults.h"
#include "core/LoadedPatch.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"
#include "win/UserMessage.h"

namespace {

const char* const kOpNames[] = {"Copy", "Open", "Create", "Read", "Write", "Seek", "Flush", "Delete", "Alloc", "Rename"};

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

// ---- The change journal (--record) ----
FILE* g_journal = nullptr;
FILE* g_journalData = nullptr;
long long g_journalDataSize = 0;
std::map<void*, std::string> g_handlePaths;

void Journal(const std::string& line) {
    std::fputs(line.c_str(), g_journal);
    std::fputc('\n', g_journal);
}

void RecordChange(const IoChangeEvent& e) {
    switch (e.kind) {
    case IoChange::Create:
    case IoChange::OpenWrite:
        g_handlePaths[e.file] = Narrow(e.path);
        Journal((e.kind == IoChange::Create ? "CREATE\t" : "OPENW\t") + Narrow(e.path));
        break;
    case IoChange::Write:
        Journal("WRITE\t" + g_handlePaths[e.file] + "\t" + std::to_string(e.offset) + "\t" +
                std::to_string(e.length) + "\t" + std::to_string(g_journalDataSize));
        std::fwrite(e.data, 1, e.length, g_journalData);
        g_journalDataSize += e.length;
        break;
    case IoChange::Flush: Journal("FLUSH\t" + g_handlePaths[e.file]); break;
    case IoChange::Rename:
        Journal("RENAME\t" + Narrow(e.path) + "\t" + Narrow(e.target) + "\t" + std::to_string(e.flags));
        break;
    case IoChange::Delete: Journal("DELETE\t" + Narrow(e.path)); break;
    case IoChange::Copy: Journal("COPY\t" + Narrow(e.path) + "\t" + Narrow(e.target)); break;
    }
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
        else if (arg == L"--record" && i + 1 < argc) {
            std::wstring journal = argv[++i];
            g_journal = _wfopen(journal.c_str(), L"wb");
            g_journalData = _wfopen((journal + L".bin").c_str(), L"wb");
            if (!g_journal || !g_journalData) {
                Line("ERROR cannot write the journal");
                return 3;
            }
        }
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
    if (g_journal) g_ioChangeHook = RecordChange;
    PatchRunResult result = PatchAllArchives(patch.loaded, nullptr);
    g_ioFaultHook = nullptr;
    g_ioChangeHook = nullptr;
    if (g_journal && (std::fclose(g_journal) != 0 || std::fclose(g_journalData) != 0)) {
        Line("ERROR the journal is incomplete");
        return 3;
    }
    Line("RESULT archives=" + std::to_string(result.archiveCount) + " failed=" +
         std::to_string(result.failedCount) + " messages=" + std::to_string(g_messageCount) +
         " ops=" + std::to_string(g_opCount));
    return 0;
}
