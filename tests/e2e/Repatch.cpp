// Makes a copy of a built setup.exe that carries another patch: the manifest and payload
// resources are replaced, everything else stays. Used to run the real installer on game
// folders of other sizes (the full-size layout, the demo).
//   e2e_repatch SETUP.EXE OUT.EXE MANIFEST.BIN PAYLOAD.BIN
#include <windows.h>

#include <cstdio>
#include <vector>

#include "setup/resource.h"

namespace {

bool ReadAll(const wchar_t* path, std::vector<unsigned char>* bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    bool ok = ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) &&
              read == bytes->size();
    CloseHandle(file);
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        fwprintf(stderr, L"usage: e2e_repatch SETUP.EXE OUT.EXE MANIFEST.BIN PAYLOAD.BIN\n");
        return 2;
    }
    std::vector<unsigned char> manifest, payload;
    if (!ReadAll(argv[3], &manifest) || !ReadAll(argv[4], &payload)) {
        fwprintf(stderr, L"repatch: cannot read the patch files\n");
        return 1;
    }
    if (!CopyFileW(argv[1], argv[2], FALSE)) {
        fwprintf(stderr, L"repatch: cannot copy %ls\n", argv[1]);
        return 1;
    }
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    HANDLE update = BeginUpdateResourceW(argv[2], FALSE);
    bool ok = update &&
              UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(IDR_MANIFEST), chinese, manifest.data(),
                              static_cast<DWORD>(manifest.size())) &&
              UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(IDR_PAYLOAD), chinese, payload.data(),
                              static_cast<DWORD>(payload.size()));
    if (!update || !EndUpdateResourceW(update, !ok) || !ok) {
        fwprintf(stderr, L"repatch: cannot update the resources of %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    wprintf(L"repatch: %ls now carries a manifest of %zu bytes and a payload of %zu bytes\n", argv[2],
            manifest.size(), payload.size());
    return 0;
}
