#include "archive/ArchiveFile.h"

namespace {

const unsigned char kCopyMagic[8] = {'K', 'S', 'T', 'R', 'c', 'o', 'p', 'y'};
constexpr uint32_t kLeadingBytesChecked = 512;

bool ReplaceLastThree(const wchar_t* path, wchar_t* out, const wchar_t* ending) {
    size_t length = lstrlenW(path);
    if (length < 3 || length >= MAX_PATH) return false;
    for (size_t i = 0; i <= length; ++i) out[i] = path[i];
    for (size_t i = 0; i < 3; ++i) out[length - 3 + i] = ending[i];
    return true;
}

} // namespace

bool MakeTempPath(const wchar_t* path, wchar_t* tempPath) { return ReplaceLastThree(path, tempPath, L"tmp"); }
bool MakeStagingPath(const wchar_t* path, wchar_t* stagingPath) { return ReplaceLastThree(path, stagingPath, L"tm~"); }

void MakeCopyMark(uint64_t copiedSize, unsigned char* mark) {
    CopyMemory(mark, kCopyMagic, sizeof kCopyMagic);
    StoreU32(mark + 8, static_cast<uint32_t>(copiedSize));
    StoreU32(mark + 12, static_cast<uint32_t>(copiedSize >> 32));
}

bool IsCopyMark(const unsigned char* tail, uint64_t fileSize) {
    if (fileSize < kCopyMarkSize) return false;
    for (size_t i = 0; i < sizeof kCopyMagic; ++i)
        if (tail[i] != kCopyMagic[i]) return false;
    uint64_t copied = LoadU32(tail + 8) | uint64_t(LoadU32(tail + 12)) << 32;
    return copied == fileSize - kCopyMarkSize;
}

bool ReadArchiveDataSize(WinFile& file, uint64_t* dataSize, bool* marked) {
    uint64_t size = 0;
    if (!file.Size(&size)) return false;
    *dataSize = size;
    *marked = false;
    // A file whose data would reach 2 GiB carries no mark this installer made (its copies
    // are of archives below that), and its tail is past what a seek can reach.
    if (size < kCopyMarkSize || size - kCopyMarkSize >= kMaxArchiveSize) return true;
    unsigned char tail[kCopyMarkSize];
    if (!file.SeekTo(static_cast<uint32_t>(size - kCopyMarkSize)) || !file.ReadExact(tail, kCopyMarkSize) ||
        !file.SeekTo(0))
        return false;
    if (IsCopyMark(tail, size)) {
        *dataSize = size - kCopyMarkSize;
        *marked = true;
    }
    return true;
}

TempCopyState InspectTempCopy(const wchar_t* tempPath) {
    WinFile file;
    if (!file.OpenRead(tempPath)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TempCopyState::NotComplete
                                                                              : TempCopyState::Unreadable;
    }
    ArchiveTable table;
    switch (ReadArchiveTable(file, &table)) {
    case TableRead::Intact: return table.marked ? TempCopyState::Complete : TempCopyState::NotComplete;
    case TableRead::NotIntact: return TempCopyState::NotComplete;
    case TableRead::CouldNotRead: break;
    }
    return GetLastError() == ERROR_HANDLE_EOF ? TempCopyState::NotComplete : TempCopyState::Unreadable;
}

bool IsLeftoverCopy(const wchar_t* tempPath, const wchar_t* archivePath) {
    WinFile copy, archive;
    uint64_t size = 0;
    if (!copy.OpenRead(tempPath) || !copy.Size(&size)) return false;
    if (size == 0) return true;
    unsigned char lead[kLeadingBytesChecked];
    uint32_t leadSize = size < kLeadingBytesChecked ? static_cast<uint32_t>(size) : kLeadingBytesChecked;
    if (!copy.ReadExact(lead, leadSize)) return false;
    bool zeros = true;
    for (uint32_t i = 0; i < leadSize; ++i) zeros = zeros && lead[i] == 0;
    if (zeros) return true;
    unsigned char header[kArcHeaderSize];
    uint32_t compared = leadSize < kArcHeaderSize ? leadSize : kArcHeaderSize;
    if (archive.OpenRead(archivePath) && archive.ReadExact(header, kArcHeaderSize)) {
        bool same = true;
        for (uint32_t i = 0; i < compared; ++i) same = same && lead[i] == header[i];
        if (same) return true;
    }
    copy.Close();
    return InspectArchive(tempPath) == ArchiveState::Intact;
}

namespace {

// The header and table from the start of the file, checked against table->dataSize.
TableRead ReadTableWithinDataSize(WinFile& file, ArchiveTable* table) {
    const uint64_t size = table->dataSize;
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

} // namespace

TableRead ReadArchiveTable(WinFile& file, ArchiveTable* table) {
    if (!ReadArchiveDataSize(file, &table->dataSize, &table->marked)) return TableRead::CouldNotRead;
    return ReadTableWithinDataSize(file, table);
}

TableRead ReadWholeArchiveTable(WinFile& file, ArchiveTable* table) {
    table->marked = false;
    if (!file.Size(&table->dataSize)) return TableRead::CouldNotRead;
    return ReadTableWithinDataSize(file, table);
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
