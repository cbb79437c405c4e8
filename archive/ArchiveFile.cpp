#include "archive/ArchiveFile.h"

bool MakeTempPath(const wchar_t* path, wchar_t* tempPath) {
    size_t length = lstrlenW(path);
    if (length < 3 || length >= MAX_PATH) return false;
    for (size_t i = 0; i <= length; ++i) tempPath[i] = path[i];
    tempPath[length - 3] = L't';
    tempPath[length - 2] = L'm';
    tempPath[length - 1] = L'p';
    return true;
}

TableRead ReadArchiveTable(WinFile& file, ArchiveTable* table) {
    uint64_t size = 0;
    if (!file.Size(&size)) return TableRead::CouldNotRead;
    if (size < kArcHeaderSize) return TableRead::NotIntact;
    if (!file.ReadExact(table->header, kArcHeaderSize)) return TableRead::CouldNotRead;
    if (CheckArchiveHeader(table->header, size) != ArchiveCheck::Ok) return TableRead::NotIntact;
    uint32_t tableSize = ArcTableSize(table->EntryCount());
    table->entries = HeapBuffer(tableSize);
    if (!table->entries || !file.ReadExact(table->entries.Get(), tableSize)) return TableRead::CouldNotRead;
    return CheckArchiveTable(table->header, table->entries.Get(), size) == ArchiveCheck::Ok
               ? TableRead::Intact
               : TableRead::NotIntact;
}

ArchiveState InspectArchive(const wchar_t* path) {
    WinFile file;
    if (!file.OpenRead(path)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ArchiveState::Missing
                                                                              : ArchiveState::Unreadable;
    }
    ArchiveTable table;
    switch (ReadArchiveTable(file, &table)) {
    case TableRead::Intact: return ArchiveState::Intact;
    case TableRead::NotIntact: return ArchiveState::Damaged;
    case TableRead::CouldNotRead: break;
    }
    // A file that ends before its table is damage, not an I/O failure.
    return GetLastError() == ERROR_HANDLE_EOF ? ArchiveState::Damaged : ArchiveState::Unreadable;
}
