#include "payload/Resources.h"

#include "payload/PatchIntegrity.h"
#include "win/PathOps.h"
#include "win/WinFile.h"
#include "win/Text.h"

const unsigned char* GetPayloadData(int id, uint32_t* size) {
    if (size) *size = 0;
    HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info) return nullptr;
    DWORD bytes = SizeofResource(nullptr, info);
    if (!bytes) return nullptr;
    HGLOBAL loaded = LoadResource(nullptr, info);
    if (!loaded) return nullptr;
    auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    if (!data) return nullptr;
    if (size) *size = bytes;
    return data;
}

int ExtractResourceToFile(const wchar_t* folder, const wchar_t* fileName, int id) {
    uint32_t size = 0;
    const unsigned char* data = GetPayloadData(id, &size);
    if (!data) return 0;
    if (lstrlenW(folder) + lstrlenW(fileName) >= MAX_PATH) return 0;
    wchar_t path[MAX_PATH] = L"";
    AppendText(path, MAX_PATH, folder);
    AppendText(path, MAX_PATH, fileName);
    WinFile file;
    if (!file.Create(path)) return 0;
    if (!file.WriteAll(data, size) || !file.Close()) {
        file.Close();
        DeleteFileChecked(path);
        return 0;
    }
    return 1;
}

PatchResourceIds InstallerPatchResourceIds() {
    PatchResourceIds ids{};
    for (int part = 0; part < kPatchPartCount; ++part) ids.part[part] = kPatchParts[part].resourceId;
    ids.digest = kPatchDigestResourceId;
    return ids;
}

PatchLoad LoadEmbeddedPatch(const PatchResourceIds& ids, LoadedPatch* patch) {
    PatchBytes bytes;
    for (int part = 0; part < kPatchPartCount; ++part) {
        if (!ids.part[part]) continue;
        uint32_t size = 0;
        bytes.parts[part].data = GetPayloadData(ids.part[part], &size);
        bytes.parts[part].size = size;
    }
    if (ids.digest) {
        uint32_t size = 0;
        const unsigned char* digest = GetPayloadData(ids.digest, &size);
        if (!digest || !PatchBytesMatchDigest(bytes, digest, size)) return PatchLoad::InstallerDamaged;
    }
    return LoadPatch(bytes, patch);
}
