#include "archive/PatchArchive.h"

#include "archive/AlreadyPatched.h"
#include "archive/ArchiveFile.h"
#include "core/ArchiveFormat.h"
#include "archive/Streaming.h"
#include "win/HeapBuffer.h"
#include "win/PathOps.h"
#include "win/WinFile.h"

namespace {

// The new table and what writing it out needs: entry data comes from the source's table
// (unchanged entries) or from the records.
struct RewritePlan {
    HeapBuffer table;
    uint32_t newSize = 0;
};

// One archive's rewrite, step by step as in README.md. Each step returns false when the
// rewrite ends there, with the outcome set.
class ArchiveRewrite {
public:
    ArchiveRewrite(ArchiveOutcome* outcome, const EntryPatch* records, uint32_t recordCount)
        : m_outcome(outcome), m_path(outcome->path), m_tempPath(outcome->tempPath),
          m_stagingPath(outcome->stagingPath), m_records(records), m_recordCount(recordCount) {}

    bool KeepIfAlreadyPatched();
    bool ChooseSource();
    bool Copy();
    bool Check();
    bool Plan();
    bool Rewrite();
    void Finish();

private:
    bool Stop(ArchiveResult result, bool aboutTempPath = false) {
        m_outcome->result = result;
        m_outcome->aboutTempPath = aboutTempPath;
        return false;
    }
    // Before the archive is truncated a normal run removes its fresh copy on every failure;
    // a recovery never removes its source.
    bool StopBeforeTruncation(ArchiveResult result, bool aboutTempPath = false) {
        m_source.Close();
        if (FileExists(m_stagingPath)) DeleteFileChecked(m_stagingPath);
        if (!m_recovery) DeleteFileChecked(m_tempPath);
        return Stop(result, aboutTempPath);
    }
    bool ChooseFromIncompleteCopy();
    bool WriteArchive(HANDLE out);

    ArchiveOutcome* m_outcome;
    const wchar_t* m_path;
    const wchar_t* m_tempPath;
    const wchar_t* m_stagingPath;
    const EntryPatch* m_records;
    uint32_t m_recordCount;
    bool m_recovery = false; // the temporary copy left by an interrupted rewrite is the source
    WinFile m_source;
    ArchiveTable m_sourceTable;
    RewritePlan m_plan;
};

// 0. An archive that already holds what its rewrite would write is left as it is: no copy,
// no write, no flush, its time stamps unchanged. Only with no temporary or staging file
// beside it: either one is what an interrupted run left, and the recovery rules decide.
bool ArchiveRewrite::KeepIfAlreadyPatched() {
    if (!FileIsAbsent(m_stagingPath) || !FileIsAbsent(m_tempPath)) return false;
    if (!ArchiveHoldsItsRewrite(m_path, m_records, m_recordCount, &m_outcome->patchedSize)) return false;
    m_outcome->result = ArchiveResult::AlreadyPatched;
    return true;
}

// 1. A staging leftover never got the temporary name, so it may be incomplete: it is deleted.
// A complete temporary copy is the source whatever the archive looks like (after a power cut
// an archive cut off mid-rewrite may look whole). Nothing is decided from a file that cannot
// be read right now. A read-only archive is never rewritten (Windows refuses the write
// anyway, and a privileged account would silently override the user's protection).
bool ArchiveRewrite::ChooseSource() {
    if (FileExists(m_stagingPath) && !DeleteFileChecked(m_stagingPath)) {
        m_outcome->aboutStagingPath = true;
        return Stop(ArchiveResult::CannotOpen);
    }
    if (FileExists(m_tempPath)) {
        switch (InspectTempCopy(m_tempPath)) {
        case TempCopyState::Complete: m_recovery = true; break;
        case TempCopyState::Unreadable: return Stop(ArchiveResult::CannotOpen, true);
        case TempCopyState::NotComplete:
            if (!ChooseFromIncompleteCopy()) return false;
            break;
        }
    }
    DWORD attributes = GetFileAttributesW(m_path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return Stop(ArchiveResult::ReadOnly);
    return true;
}

// An older installer's copy carries no mark, and a power cut before its flush may have left
// it cut short or zero-filled: it is a source only where that installer's rule made it one
// (beside an archive that is not intact; that installer truncated the archive only after
// flushing its copy). Beside an intact archive, a copy or the remains of one is stale and
// deleted; a file that is neither is not ours to destroy. A marked copy that is not intact
// within its mark (a copy of an archive that was already short) falls under the same rule
// and is never a source: the data its table asks for would be the mark.
bool ArchiveRewrite::ChooseFromIncompleteCopy() {
    ArchiveState archive = InspectArchive(m_path);
    if (archive == ArchiveState::Unreadable) return Stop(ArchiveResult::CannotOpen);
    if (archive == ArchiveState::Intact) {
        if (!IsLeftoverCopy(m_tempPath, m_path)) return Stop(ArchiveResult::ForeignTemp);
        if (!DeleteFileChecked(m_tempPath)) return Stop(ArchiveResult::CannotOpen, true);
        return true;
    }
    ArchiveState copy = InspectArchive(m_tempPath);
    if (copy == ArchiveState::Unreadable) return Stop(ArchiveResult::CannotOpen, true);
    if (copy != ArchiveState::Intact) return Stop(ArchiveResult::BothDamaged);
    m_recovery = true;
    return true;
}

// 2. The copy is made under the staging name, marked, flushed and only then renamed to the
// temporary name with write-through: a file under that name is complete on the disk by
// construction, and after a power cut it is the only source of the unchanged entries. A
// recovery already has its source.
bool ArchiveRewrite::Copy() {
    if (m_recovery) return true;
    if (!CopyFileOver(m_path, m_stagingPath)) return StopBeforeTruncation(ArchiveResult::CannotOpen, true);
    // CopyFileW carries a read-only attribute over; the copy is ours to write and delete.
    SetFileAttributesW(m_stagingPath, FILE_ATTRIBUTE_NORMAL);
    bool onDisk;
    {
        WinFile copy;
        uint64_t size = 0;
        unsigned char mark[kCopyMarkSize];
        bool atEnd = copy.OpenWrite(m_stagingPath) && copy.Size(&size) && size < kMaxArchiveSize &&
                     copy.SeekTo(static_cast<uint32_t>(size));
        if (atEnd) MakeCopyMark(size, mark);
        onDisk = atEnd && copy.WriteAll(mark, kCopyMarkSize) && copy.Flush() && copy.Close();
    }
    if (!onDisk || !RenameFileDurably(m_stagingPath, m_tempPath))
        return StopBeforeTruncation(ArchiveResult::CannotOpen, true);
    return true;
}

// 3. The source's header and table, checked against its data (a marked copy without its
// mark), and the records against them.
bool ArchiveRewrite::Check() {
    if (!m_source.OpenRead(m_tempPath)) return StopBeforeTruncation(ArchiveResult::CannotOpen, true);
    TableRead read = ReadArchiveTable(m_source, &m_sourceTable);
    if (read == TableRead::Intact &&
        CheckPatchRecords(m_sourceTable.EntryCount(), m_records, m_recordCount) != ArchiveCheck::Ok)
        read = TableRead::NotIntact;
    if (read == TableRead::Intact) return true;
    if (m_recovery) return StopBeforeTruncation(ArchiveResult::RewriteFailed);
    if (read == TableRead::CouldNotRead) return StopBeforeTruncation(ArchiveResult::CannotOpen, true);
    return StopBeforeTruncation(ArchiveResult::Unrecognised);
}

// 4. The new table: the records applied, the data laid out back to back.
bool ArchiveRewrite::Plan() {
    uint16_t entryCount = m_sourceTable.EntryCount();
    uint32_t tableSize = ArcTableSize(entryCount);
    m_plan.table = HeapBuffer(tableSize);
    bool planned = false, allocated = static_cast<bool>(m_plan.table);
    if (allocated) {
        CopyMemory(m_plan.table.Get(), m_sourceTable.entries.Get(), tableSize);
        planned = PlanArchiveRewrite(m_plan.table.Get(), entryCount, m_records, m_recordCount,
                                     &m_plan.newSize) == ArchiveCheck::Ok;
    }
    if (planned) return true;
    if (m_recovery) return StopBeforeTruncation(ArchiveResult::RewriteFailed);
    if (!allocated) return StopBeforeTruncation(ArchiveResult::CannotOpen, true);
    return StopBeforeTruncation(ArchiveResult::Unrecognised);
}

// Header, table, zero fill and every entry in table order. After any failure (or a power
// cut) the complete copy beside the archive is the next run's source.
bool ArchiveRewrite::WriteArchive(HANDLE out) {
    uint16_t entryCount = m_sourceTable.EntryCount();
    const unsigned char* table = m_plan.table.Get();
    const unsigned char* sourceTable = m_sourceTable.entries.Get();
    uint32_t tableSize = ArcTableSize(entryCount);
    uint32_t dataStart = ArcDataOffset(table, 0);
    if (!WriteAll(out, m_sourceTable.header, kArcHeaderSize) || !WriteAll(out, table, tableSize) ||
        !WriteFill(out, dataStart - kArcHeaderSize - tableSize, 0))
        return false;
    // One copy buffer for all entries, allocated after the fill buffer is gone. A fresh
    // block for every entry costs more than the copying itself: most entries are far
    // smaller than the buffer, and each new block is new zeroed pages.
    HeapBuffer buffer(kCopyBufferSize);
    if (!buffer) return false;
    for (uint32_t i = 0; i < entryCount; ++i) {
        const EntryPatch* patch = FindEntryPatch(m_records, m_recordCount, i);
        bool ok = patch ? WriteAll(out, patch->data, patch->storedLength)
                        : CopyFileRange(m_source.Handle(), ArcDataOffset(sourceTable, i),
                                        ArcStoredLength(sourceTable, i), out, buffer.Get());
        if (!ok) return false;
    }
    return true;
}

// 5. Truncates the archive (a create that fails has not touched it) and writes it anew. The
// rewritten archive must be on the disk before its only other source goes.
bool ArchiveRewrite::Rewrite() {
    WinFile out;
    bool created = out.Create(m_path);
    bool finished = created && WriteArchive(out.Handle()) && out.Flush() && out.Close();
    out.Close();
    m_source.Close();
    if (!created && !m_recovery) return StopBeforeTruncation(ArchiveResult::CannotOpen);
    if (!finished) return Stop(ArchiveResult::RewriteFailed);
    return true;
}

// 6. A copy that cannot be deleted now (or whose delete a power cut undoes) is complete: the
// next run rewrites the archive from it once more, to the same bytes, and removes it.
void ArchiveRewrite::Finish() {
    DeleteFileChecked(m_tempPath);
    m_outcome->result = ArchiveResult::Patched;
    m_outcome->patchedSize = m_plan.newSize;
}

} // namespace

ArchiveOutcome PatchArchive(const wchar_t* path, const EntryPatch* records, uint32_t recordCount) {
    ArchiveOutcome outcome;
    lstrcpynW(outcome.path, path, MAX_PATH);
    if (!MakeTempPath(path, outcome.tempPath) || !MakeStagingPath(path, outcome.stagingPath)) {
        outcome.result = ArchiveResult::Unrecognised;
        return outcome;
    }
    ArchiveRewrite rewrite(&outcome, records, recordCount);
    if (rewrite.KeepIfAlreadyPatched()) return outcome;
    if (rewrite.ChooseSource() && rewrite.Copy() && rewrite.Check() && rewrite.Plan() && rewrite.Rewrite())
        rewrite.Finish();
    return outcome;
}
