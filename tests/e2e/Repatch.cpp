// Makes a copy of a built setup.exe that carries another patch folder's patch: every part
// (core/PatchParts.h) is replaced, an optional one the folder lacks removed, and the patch's
// digest is recorded anew, as the build records it; everything else stays. Used to run the
// real installer on game folders of other sizes (the full-size layout, the demo).
//   e2e_repatch SETUP.EXE OUT.EXE PATCH_DIR
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/PatchDigest.h"
#include "payload/Sha256.h"
#include "core/PatchParts.h"

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

// The digest's lines (core/PatchDigest.h) for the parts given (empty: not embedded).
bool DigestOf(const std::vector<unsigned char> (&parts)[kPatchPartCount], std::string* text) {
    for (int part = 0; part < kPatchPartCount; ++part) {
        if (parts[part].empty() && kPatchParts[part].optional) continue;
        unsigned char hash[kSha256Size];
        if (!Sha256(parts[part].data(), parts[part].size(), hash)) return false;
        char hex[2 * kSha256Size + 1];
        FormatSha256(hash, hex);
        *text += std::string(hex) + "  " + kPatchParts[part].fileName + "\n";
    }
    return true;
}

bool Replace(HANDLE update, int id, const std::vector<unsigned char>& bytes) {
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    if (bytes.empty()) { // a removal of an absent resource is no failure
        UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(id), chinese, nullptr, 0);
        return true;
    }
    return UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(id), chinese, const_cast<unsigned char*>(bytes.data()),
                           static_cast<DWORD>(bytes.size()));
}

// Wine's UpdateResourceW does not remove a resource when given no data: a resource that
// should be gone but is still there would make the recorded digest wrong, so it is checked.
bool Removed(const wchar_t* exe, int id) {
    HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    bool gone = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA) == nullptr;
    FreeLibrary(module);
    return gone;
}

// Every part's file of a patch folder, named as core/PatchParts.h names it; an optional part
// the folder lacks stays empty.
bool ReadPatchFolder(const std::wstring& folder, std::vector<unsigned char> (&parts)[kPatchPartCount]) {
    for (int part = 0; part < kPatchPartCount; ++part) {
        const char* name = kPatchParts[part].fileName;
        const std::wstring path = folder + L"\\" + std::wstring(name, name + strlen(name));
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && kPatchParts[part].optional) continue;
        if (!ReadAll(path.c_str(), &parts[part])) {
            fwprintf(stderr, L"repatch: cannot read %ls\n", path.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fwprintf(stderr, L"usage: e2e_repatch SETUP.EXE OUT.EXE PATCH_DIR\n");
        return 2;
    }
    std::vector<unsigned char> parts[kPatchPartCount];
    if (!ReadPatchFolder(argv[3], parts)) return 1;
    std::string digest;
    if (!DigestOf(parts, &digest)) {
        fwprintf(stderr, L"repatch: cannot compute the digest\n");
        return 1;
    }
    if (!CopyFileW(argv[1], argv[2], FALSE)) {
        fwprintf(stderr, L"repatch: cannot copy %ls\n", argv[1]);
        return 1;
    }
    HANDLE update = BeginUpdateResourceW(argv[2], FALSE);
    // Fingerprints of another game folder would make the installer skip every archive, and
    // another folder's total would end its bar elsewhere: every part is replaced, or removed.
    bool ok = update != nullptr;
    for (int part = 0; ok && part < kPatchPartCount; ++part) ok = Replace(update, kPatchParts[part].resourceId, parts[part]);
    ok = ok && Replace(update, kPatchDigestResourceId, std::vector<unsigned char>(digest.begin(), digest.end()));
    if (!update || !EndUpdateResourceW(update, !ok) || !ok) {
        fwprintf(stderr, L"repatch: cannot update the resources of %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    for (int part = 0; part < kPatchPartCount; ++part) {
        if (parts[part].empty() && !Removed(argv[2], kPatchParts[part].resourceId)) {
            fwprintf(stderr, L"repatch: resource %d of %ls could not be removed; give it with the patch\n",
                     kPatchParts[part].resourceId, argv[2]);
            DeleteFileW(argv[2]);
            return 1;
        }
    }
    wprintf(L"repatch: %ls now carries a manifest of %zu bytes, a payload of %zu bytes, %ls, %ls and their digest\n",
            argv[2], parts[kPartManifest].size(), parts[kPartPayload].size(),
            parts[kPartFingerprints].empty() ? L"no fingerprints" : L"fingerprints",
            parts[kPartProgressTotal].empty() ? L"no progress total" : L"a progress total");
    return 0;
}
