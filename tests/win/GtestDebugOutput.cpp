// Linked into every Windows test program (add_wine_gtest). GoogleTest hands each failure to
// OutputDebugStringA as well as to stdout. Under 32-bit Wine emulated by qemu-user that call
// kills the process: the exception OutputDebugStringA raises is caught inside Wine, and the
// unwinding back to its handler faults under the emulator, so a failing test ended without
// GoogleTest's summary, as a crash. The program's import of OutputDebugStringA is pointed at
// a function that does nothing, before any test runs: the failure is on stdout already.
#include <windows.h>

#include <cstring>

namespace {

void WINAPI NoDebugOutput(LPCSTR) {}

// The program's own import slot for kernel32's OutputDebugStringA, or null.
void** ImportSlot(const char* dll, const char* function) {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

struct SilenceDebugOutput {
    SilenceDebugOutput() {
        void** slot = ImportSlot("kernel32.dll", "OutputDebugStringA");
        DWORD old = 0;
        if (slot && VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old)) {
            *slot = reinterpret_cast<void*>(&NoDebugOutput);
            VirtualProtect(slot, sizeof(*slot), old, &old);
        }
    }
} g_silenceDebugOutput;

} // namespace
