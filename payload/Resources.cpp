#include "payload/Resources.h"

#include "archive/WinFile.h"
#include "payload/PatchManifest.h"
#include "setup/UserMessage.h"

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

int LoadPatchManifest(int id) {
    uint32_t size = 0;
    const unsigned char* data = GetPayloadData(id, &size);
    if (!data) return 0;
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    if (!ParsePatchManifest(data, size, &sets, &count)) return 0;
    FreePatchManifest();
    g_patchSets = sets;
    g_patchSetCount.store(count);
    return 1;
}

void FreePatchManifest() {
    ArchivePatchSet* sets = g_patchSets;
    uint32_t count = g_patchSetCount.load();
    g_patchSets = nullptr;
    g_patchSetCount.store(0);
    FreePatchSets(sets, count);
}
