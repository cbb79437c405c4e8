#include "archive/FingerprintCheck.h"

#include "core/ArchiveFormat.h"
#include "archive/ArchiveFile.h"
#include "win/HeapBuffer.h"
#include "win/PathOps.h"
#include "win/WinFile.h"

FingerprintVerdict CompareArchiveFingerprint(const wchar_t* path, const ArchiveFingerprint& fingerprint) {
    WinFile file;
    uint64_t size = 0;
    unsigned char header[kArcHeaderSize];
    if (!file.OpenRead(path) || !file.Size(&size) || size < kArcHeaderSize || !file.ReadExact(header, kArcHeaderSize))
        return FingerprintVerdict::Unreadable;
    const uint32_t tableSize = ArcTableSize(ArcEntryCount(header));
    // Only a table that could reach into a copy's mark needs the file's tail looked at (a
    // read at the other end of the file, which every archive of a second run would pay for).
    uint64_t dataSize = size;
    if (kArcHeaderSize + uint64_t(tableSize) + kCopyMarkSize > size) {
        bool marked = false;
        if (!ReadArchiveDataSize(file, &dataSize, &marked) || dataSize < kArcHeaderSize || !file.SeekTo(kArcHeaderSize))
            return FingerprintVerdict::Unreadable;
    }
    // Another header or entry count is another release; the table need not be read.
    if (FingerprintHeaderDiffers(header, fingerprint) || ArcEntryCount(header) != fingerprint.entryCount)
        return FingerprintVerdict::Differs;
    // A table that runs into a copy's mark is cut short: the mark is no part of it.
    if (kArcHeaderSize + uint64_t(tableSize) > dataSize) return FingerprintVerdict::Unreadable;
    HeapBuffer table(tableSize ? tableSize : 1);
    if (!table || !file.ReadExact(table.Get(), tableSize)) return FingerprintVerdict::Unreadable;
    return MatchesFingerprint(header, table.Get(), fingerprint) ? FingerprintVerdict::Matches
                                                               : FingerprintVerdict::Differs;
}

bool ArchiveMayBeRewritten(const wchar_t* path, const ArchiveFingerprint* fingerprint) {
    if (!fingerprint) return true;
    // The archive is rewritten from a complete temporary copy whatever the archive looks
    // like (a power cut may have left it torn), so the copy is what is judged.
    wchar_t copyPath[MAX_PATH];
    if (MakeTempPath(path, copyPath) && FileExists(copyPath) && InspectTempCopy(copyPath) == TempCopyState::Complete)
        return CompareArchiveFingerprint(copyPath, *fingerprint) != FingerprintVerdict::Differs;
    FingerprintVerdict verdict = CompareArchiveFingerprint(path, *fingerprint);
    if (verdict == FingerprintVerdict::Unreadable) {
        // A rewrite that stopped after truncating the archive leaves the only intact copy
        // under the temporary name; the next run completes the rewrite from it.
        wchar_t tempPath[MAX_PATH];
        if (MakeTempPath(path, tempPath) && FileExists(tempPath))
            verdict = CompareArchiveFingerprint(tempPath, *fingerprint);
    }
    return verdict != FingerprintVerdict::Differs;
}
