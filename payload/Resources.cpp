#include "payload/Resources.h"

#include "payload/PatchIntegrity.h"
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
        DeleteFileW(path);
        return 0;
    }
    return 1;
}

PatchLoad LoadEmbeddedPatch(const PatchResourceIds& ids, LoadedPatch* patch) {
    PatchBytes bytes;
    uint32_t size = 0;
    bytes.manifest = GetPayloadData(ids.manifest, &size);
    bytes.manifestSize = size;
    bytes.payload = GetPayloadData(ids.payload, &size);
    bytes.payloadSize = size;
    bytes.fingerprints = GetPayloadData(ids.fingerprints, &size);
    bytes.fingerprintsSize = size;
    if (ids.progressTotal) {
        bytes.progressTotal = GetPayloadData(ids.progressTotal, &size);
        bytes.progressTotalSize = size;
    }
    if (ids.digest) {
        const unsigned char* digest = GetPayloadData(ids.digest, &size);
        if (!digest || !PatchBytesMatchDigest(bytes, digest, size)) return PatchLoad::InstallerDamaged;
    }
    return LoadPatch(bytes, patch);
}
