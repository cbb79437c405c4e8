#include "archive/AlreadyPatched.h"

#include "archive/ArchiveFile.h"
#include "archive/Streaming.h"
#include "core/ArchiveFormat.h"
#include "core/PatchedState.h"
#include "win/HeapBuffer.h"
#include "win/WinFile.h"

namespace {

bool ReadAt(void* context, uint32_t offset, unsigned char* buffer, uint32_t count) {
    WinFile& file = *static_cast<WinFile*>(context);
    return file.SeekTo(offset) && file.ReadExact(buffer, count);
}

} // namespace

bool ArchiveHoldsItsRewrite(const wchar_t* path, const EntryPatch* records, uint32_t recordCount, uint32_t* size) {
    WinFile file;
    ArchiveTable table;
    // The whole file is what a rewrite would copy and take as its data.
    if (!file.OpenRead(path) || ReadWholeArchiveTable(file, &table) != TableRead::Intact) return false;
    const uint16_t entryCount = table.EntryCount();
    {
        HeapBuffer planned(ArcTableSize(entryCount));
        if (!planned || !RewriteKeepsTable(table.header, table.entries.Get(), table.dataSize, records, recordCount,
                                           planned.Get()))
            return false;
    }
    // The block size of the rewrite's own copying.
    HeapBuffer buffer(kCopyBufferSize);
    if (!buffer) return false;
    const ArchiveReadAt io{ReadAt, &file};
    if (CompareRewrittenBytes(table.entries.Get(), entryCount, records, recordCount, buffer.Get(), kCopyBufferSize,
                              io) != RewrittenBytes::Same)
        return false;
    *size = static_cast<uint32_t>(table.dataSize);
    return true;
}
