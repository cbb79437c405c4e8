#include "archive/PatchArchive.h"

#include <new>

#include "archive/ArchiveFormat.h"
#include "archive/WinFile.h"
#include "setup/UserMessage.h"

namespace {

// 256 KiB: read into the buffer and written out again while it is still in the processor's
// cache. A 1 MiB buffer doubled the kernel's copying time on the benchmark machine.
constexpr uint32_t kCopyBufferSize = 0x40000;
constexpr uint32_t kFillBufferSize = 0x20000;  // 128 KiB, per WriteFill call

const wchar_t kCannotOpenCaption[] = L"无法打开";
const wchar_t kErrorCaption[] = L"错误";

void ReportWithPath(const wchar_t* path, const wchar_t* text, const wchar_t* caption) {
    wchar_t message[1024] = L"";
    AppendText(message, 1024, path);
    AppendText(message, 1024, L"\n\n");
    AppendText(message, 1024, text);
    ShowUserMessage(nullptr, message, caption);
}

void ReportUnrecognised(const wchar_t* path) {
    ReportWithPath(path,
                   L"无法识别此文件的内容（文件可能已损坏，或与本补丁对应的游戏版本不符），"
                   L"已跳过此文件，未做任何修改。",
                   kErrorCaption);
}

void ReportRewriteFailed(const wchar_t* path, const wchar_t* tempPath) {
    wchar_t text[700] = L"写入此文件时出错（磁盘空间不足，或文件正被其他程序使用）。"
                        L"此文件的完整副本保留在：\n";
    AppendText(text, 700, tempPath);
    AppendText(text, 700, L"\n\n请排除问题后重新运行本安装程序，即可自动完成此文件的安装。"
                          L"在此之前请勿删除该副本。");
    ReportWithPath(path, text, kErrorCaption);
}

void ReportBothDamaged(const wchar_t* path, const wchar_t* tempPath) {
    wchar_t text[700] = L"此文件与上次安装留下的临时文件都不完整，无法自动修复：\n";
    AppendText(text, 700, tempPath);
    AppendText(text, 700, L"\n\n请从游戏安装盘或备份中恢复此文件，然后重新运行本安装程序。");
    ReportWithPath(path, text, kErrorCaption);
}

// Reads a header and entry table from an open file and checks them against its size.
// table receives a heap block of 80 x N bytes on success.
ArchiveCheck ReadArchiveTable(WinFile& file, unsigned char* header, HeapBuffer** table,
                              bool* ioFailed) {
    *ioFailed = false;
    uint64_t size = 0;
    if (!file.Size(&size)) {
        *ioFailed = true;
        return ArchiveCheck::TooShortForHeader;
    }
    if (size < kArcHeaderSize) return ArchiveCheck::TooShortForHeader;
    if (!file.ReadExact(header, kArcHeaderSize)) {
        *ioFailed = true;
        return ArchiveCheck::TooShortForHeader;
    }
    ArchiveCheck check = CheckArchiveHeader(header, size);
    if (check != ArchiveCheck::Ok) return check;
    uint32_t tableSize = ArcTableSize(ArcEntryCount(header));
    auto* buffer = new (std::nothrow) HeapBuffer(tableSize);
    if (!buffer || !*buffer || !file.ReadExact(buffer->Get(), tableSize)) {
        delete buffer;
        *ioFailed = true;
        return ArchiveCheck::TooShortForHeader;
    }
    *table = buffer;
    return CheckArchiveTable(header, buffer->Get(), size);
}

// Streams length bytes from offset of source to the destination's current position through
// a buffer of kCopyBufferSize bytes. A length of 0 does nothing (and does not seek).
bool CopyRangeThrough(HANDLE source, uint32_t offset, uint32_t length, HANDLE destination,
                      unsigned char* buffer) {
    if (length == 0) return true;
    if (!SeekHandle(source, offset)) return false;
    for (uint32_t chunks = length / kCopyBufferSize; chunks; --chunks) {
        if (!ReadExact(source, buffer, kCopyBufferSize) || !WriteAll(destination, buffer, kCopyBufferSize))
            return false;
    }
    uint32_t rest = length % kCopyBufferSize;
    return !rest || (ReadExact(source, buffer, rest) && WriteAll(destination, buffer, rest));
}

// Writes header, table, zero fill and every entry in table order. Any failure leaves a file
// that is not intact (shorter than its table says), which the next run recognises.
bool WriteRewrittenArchive(HANDLE out, HANDLE source, const unsigned char* header,
                           const unsigned char* workingTable, const unsigned char* sourceTable,
                           uint16_t entryCount, const EntryPatch* records, uint32_t recordCount) {
    uint32_t tableSize = ArcTableSize(entryCount);
    uint32_t dataStart = ArcDataOffset(workingTable, 0);
    if (!WriteAll(out, header, kArcHeaderSize) || !WriteAll(out, workingTable, tableSize) ||
        !WriteFill(out, dataStart - kArcHeaderSize - tableSize, 0))
        return false;
    // One copy buffer for all entries, allocated after the fill buffer is gone. A fresh
    // block for every entry costs more than the copying itself: most entries are far
    // smaller than the buffer, and each new block is new zeroed pages.
    HeapBuffer buffer(kCopyBufferSize);
    if (!buffer) return false;
    for (uint32_t i = 0; i < entryCount; ++i) {
        const EntryPatch* patch = FindEntryPatch(records, recordCount, i);
        bool ok = patch ? WriteAll(out, patch->data, patch->storedLength)
                        : CopyRangeThrough(source, ArcDataOffset(sourceTable, i),
                                           ArcStoredLength(sourceTable, i), out, buffer.Get());
        if (!ok) return false;
    }
    return true;
}

} // namespace

int MakeTempPath(const wchar_t* path, wchar_t* tempPath) {
    size_t length = lstrlenW(path);
    if (length < 3 || length >= MAX_PATH) return 0;
    for (size_t i = 0; i <= length; ++i) tempPath[i] = path[i];
    tempPath[length - 3] = L't';
    tempPath[length - 2] = L'm';
    tempPath[length - 1] = L'p';
    return 1;
}

ArchiveState InspectArchive(const wchar_t* path) {
    WinFile file;
    if (!file.OpenRead(path)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ArchiveState::Missing
                                                                              : ArchiveState::Unreadable;
    }
    unsigned char header[kArcHeaderSize];
    HeapBuffer* table = nullptr;
    bool ioFailed = false;
    ArchiveCheck check = ReadArchiveTable(file, header, &table, &ioFailed);
    delete table;
    // A short file reads as "end of file", which is damage, not an I/O failure.
    if (ioFailed && GetLastError() != ERROR_HANDLE_EOF) return ArchiveState::Unreadable;
    return !ioFailed && check == ArchiveCheck::Ok ? ArchiveState::Intact : ArchiveState::Damaged;
}

int CopyFileRange(HANDLE source, uint32_t offset, uint32_t length, HANDLE destination) {
    if (length == 0) return 1;
    HeapBuffer buffer(kCopyBufferSize);
    return buffer && CopyRangeThrough(source, offset, length, destination, buffer.Get()) ? 1 : 0;
}

int WriteFill(HANDLE file, uint32_t length, unsigned char fill) {
    if (length == 0) return 1;
    HeapBuffer buffer(kFillBufferSize);
    if (!buffer) return 0;
    FillMemory(buffer.Get(), kFillBufferSize, fill);
    for (uint32_t chunks = length / kFillBufferSize; chunks; --chunks)
        if (!WriteAll(file, buffer.Get(), kFillBufferSize)) return 0;
    uint32_t rest = length % kFillBufferSize;
    if (rest && !WriteAll(file, buffer.Get(), rest)) return 0;
    return 1;
}

int PatchArchive(const wchar_t* path, const EntryPatch* records, uint32_t recordCount) {
    wchar_t tempPath[MAX_PATH];
    if (!MakeTempPath(path, tempPath)) {
        ReportUnrecognised(path);
        return 0;
    }

    // A leftover temporary file: stale beside an intact archive, or the only intact source
    // after a rewrite that stopped part-way.
    // Nothing is decided from a file that cannot be read right now.
    bool recovery = false;
    if (FileExists(tempPath)) {
        ArchiveState archive = InspectArchive(path);
        ArchiveState copy = archive == ArchiveState::Intact ? ArchiveState::Intact : InspectArchive(tempPath);
        if (archive == ArchiveState::Unreadable || copy == ArchiveState::Unreadable) {
            ShowUserMessage(nullptr, archive == ArchiveState::Unreadable ? path : tempPath, kCannotOpenCaption);
            return 0;
        }
        if (archive == ArchiveState::Intact) {
            if (!DeleteFileChecked(tempPath)) {
                ShowUserMessage(nullptr, tempPath, kCannotOpenCaption);
                return 0;
            }
        } else if (copy == ArchiveState::Intact) {
            recovery = true;
        } else {
            ReportBothDamaged(path, tempPath);
            return 0;
        }
    }

    // From here on a normal run owns a fresh copy and removes it on every failure that
    // happens before the archive is truncated; a recovery never removes its source.
    auto dropFreshCopy = [&] {
        if (!recovery) DeleteFileChecked(tempPath);
    };

    // A read-only archive is never rewritten (Windows refuses the write anyway, and a
    // privileged account would silently override the user's protection).
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ReportWithPath(path, L"此文件为只读文件，无法写入，已跳过，未做任何修改。"
                             L"请取消它的只读属性后重新运行本安装程序。", kErrorCaption);
        return 0;
    }

    if (!recovery) {
        if (!CopyFileOver(path, tempPath)) {
            dropFreshCopy();
            ShowUserMessage(nullptr, tempPath, kCannotOpenCaption);
            return 0;
        }
        // CopyFileW carries a read-only attribute over; the copy is ours to flush and delete.
        SetFileAttributesW(tempPath, FILE_ATTRIBUTE_NORMAL);
        // The copy must be on the disk before the archive is truncated: after a power cut
        // it is the only source of the unchanged entries.
        bool flushed;
        {
            WinFile flush;
            flushed = flush.OpenWrite(tempPath) && flush.Flush() && flush.Close();
        }
        if (!flushed) {
            dropFreshCopy();
            ShowUserMessage(nullptr, tempPath, kCannotOpenCaption);
            return 0;
        }
    }

    WinFile source;
    if (!source.OpenRead(tempPath)) {
        dropFreshCopy();
        ShowUserMessage(nullptr, tempPath, kCannotOpenCaption);
        return 0;
    }

    unsigned char header[kArcHeaderSize];
    HeapBuffer* sourceTable = nullptr;
    bool ioFailed = false;
    ArchiveCheck check = ReadArchiveTable(source, header, &sourceTable, &ioFailed);
    uint16_t entryCount = ArcEntryCount(header);
    if (check == ArchiveCheck::Ok) check = CheckPatchRecords(entryCount, records, recordCount);

    HeapBuffer* workingTable = nullptr;
    uint32_t newSize = 0;
    if (check == ArchiveCheck::Ok && !ioFailed) {
        uint32_t tableSize = ArcTableSize(entryCount);
        workingTable = new (std::nothrow) HeapBuffer(tableSize);
        if (!workingTable || !*workingTable) {
            ioFailed = true;
        } else {
            CopyMemory(workingTable->Get(), sourceTable->Get(), tableSize);
            check = PlanArchiveRewrite(workingTable->Get(), entryCount, records, recordCount, &newSize);
        }
    }
    if (check != ArchiveCheck::Ok || ioFailed) {
        delete sourceTable;
        delete workingTable;
        source.Close();
        if (recovery) {
            ReportRewriteFailed(path, tempPath);
        } else {
            dropFreshCopy();
            if (ioFailed) ShowUserMessage(nullptr, tempPath, kCannotOpenCaption);
            else ReportUnrecognised(path);
        }
        return 0;
    }

    // Truncates the archive. A create that fails has not touched it.
    WinFile out;
    bool created = out.Create(path);
    bool written = created &&
                   WriteRewrittenArchive(out.Handle(), source.Handle(), header, workingTable->Get(),
                                         sourceTable->Get(), entryCount, records, recordCount);
    // The rewritten archive must be on the disk before its only other source goes.
    bool finished = written && out.Flush() && out.Close();
    delete sourceTable;
    delete workingTable;
    out.Close();
    source.Close();

    if (!created && !recovery) {
        dropFreshCopy();
        ShowUserMessage(nullptr, path, kCannotOpenCaption);
        return 0;
    }
    if (!finished) {
        ReportRewriteFailed(path, tempPath);
        return 0;
    }
    // A copy that cannot be deleted now is stale beside an intact archive; the next run
    // removes it.
    DeleteFileChecked(tempPath);
    return 1;
}
