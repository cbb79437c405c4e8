// Makes a copy of a built setup.exe that carries another patch: the manifest, payload and
// fingerprint resources are replaced (the fingerprints removed when none are given),
// everything else stays. Used to run the real installer on game folders of other sizes
// (the full-size layout, the demo).
//   e2e_repatch SETUP.EXE OUT.EXE MANIFEST.BIN PAYLOAD.BIN [FINGERPRINTS.BIN]
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
    if (argc != 5 && argc != 6) {
        fwprintf(stderr, L"usage: e2e_repatch SETUP.EXE OUT.EXE MANIFEST.BIN PAYLOAD.BIN [FINGERPRINTS.BIN]\n");
        return 2;
    }
    std::vector<unsigned char> manifest, payload, fingerprints;
    if (!ReadAll(argv[3], &manifest) || !ReadAll(argv[4], &payload) ||
        (argc == 6 && !ReadAll(argv[5], &fingerprints))) {
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
    // Fingerprints of another game folder would make the installer skip every archive: they
    // are replaced, or removed (a removal of an absent resource is no failure).
    if (ok && !fingerprints.empty())
        ok = UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(IDR_FINGERPRINTS), chinese, fingerprints.data(),
                             static_cast<DWORD>(fingerprints.size()));
    else if (ok)
        UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(IDR_FINGERPRINTS), chinese, nullptr, 0);
    if (!update || !EndUpdateResourceW(update, !ok) || !ok) {
        fwprintf(stderr, L"repatch: cannot update the resources of %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    wprintf(L"repatch: %ls now carries a manifest of %zu bytes, a payload of %zu bytes and %ls\n", argv[2],
            manifest.size(), payload.size(), fingerprints.empty() ? L"no fingerprints" : L"fingerprints");
    return 0;
}
