#include "core/ArchiveFormat.h"

namespace {
constexpr uint32_t kStoredLengthAt = 68;
constexpr uint32_t kSizeWordAt = 72;
constexpr uint32_t kDataOffsetAt = 76;
} // namespace

uint32_t LoadU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreU32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

uint16_t ArcEntryCount(const unsigned char* header) {
    return static_cast<uint16_t>(header[6] | header[7] << 8);
}

uint32_t ArcTableSize(uint16_t entryCount) { return kArcEntrySize * entryCount; }

uint32_t ArcStoredLength(const unsigned char* t, uint32_t i) { return LoadU32(t + i * kArcEntrySize + kStoredLengthAt); }
uint32_t ArcSizeWord(const unsigned char* t, uint32_t i) { return LoadU32(t + i * kArcEntrySize + kSizeWordAt); }
uint32_t ArcDataOffset(const unsigned char* t, uint32_t i) { return LoadU32(t + i * kArcEntrySize + kDataOffsetAt); }
void SetArcStoredLength(unsigned char* t, uint32_t i, uint32_t v) { StoreU32(t + i * kArcEntrySize + kStoredLengthAt, v); }
void SetArcSizeWord(unsigned char* t, uint32_t i, uint32_t v) { StoreU32(t + i * kArcEntrySize + kSizeWordAt, v); }
void SetArcDataOffset(unsigned char* t, uint32_t i, uint32_t v) { StoreU32(t + i * kArcEntrySize + kDataOffsetAt, v); }

const char* ArchiveCheckName(ArchiveCheck check) {
    switch (check) {
    case ArchiveCheck::Ok: return "ok";
    case ArchiveCheck::TooShortForHeader: return "too short for the header";
    case ArchiveCheck::NoEntries: return "no entries";
    case ArchiveCheck::TableBeyondFile: return "entry table runs past the end of the file";
    case ArchiveCheck::DataInsideTable: return "entry 0 data offset inside the entry table";
    case ArchiveCheck::EntryBeyondFile: return "entry data runs past the end of the file";
    case ArchiveCheck::RecordIndexOutOfRange: return "record names an entry past the table";
    case ArchiveCheck::DuplicateRecordIndex: return "two records name the same entry";
    case ArchiveCheck::RecordWithoutData: return "record has no replacement data";
    case ArchiveCheck::LayoutTooLarge: return "rewritten archive would reach 2 GiB";
    }
    return "unknown";
}

ArchiveCheck CheckArchiveHeader(const unsigned char* header, uint64_t fileSize) {
    if (fileSize < kArcHeaderSize) return ArchiveCheck::TooShortForHeader;
    uint16_t n = ArcEntryCount(header);
    if (n == 0) return ArchiveCheck::NoEntries;
    if (kArcHeaderSize + uint64_t(ArcTableSize(n)) > fileSize) return ArchiveCheck::TableBeyondFile;
    return ArchiveCheck::Ok;
}

ArchiveCheck CheckArchiveTable(const unsigned char* header, const unsigned char* table,
                               uint64_t fileSize) {
    ArchiveCheck head = CheckArchiveHeader(header, fileSize);
    if (head != ArchiveCheck::Ok) return head;
    uint16_t n = ArcEntryCount(header);
    if (ArcDataOffset(table, 0) < kArcHeaderSize + ArcTableSize(n)) return ArchiveCheck::DataInsideTable;
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t end = uint64_t(ArcDataOffset(table, i)) + ArcStoredLength(table, i);
        if (end > fileSize) return ArchiveCheck::EntryBeyondFile;
    }
    return ArchiveCheck::Ok;
}

ArchiveCheck CheckPatchRecords(uint16_t entryCount, const EntryPatch* records,
                               uint32_t recordCount) {
    for (uint32_t r = 0; r < recordCount; ++r) {
        if (records[r].entryIndex >= entryCount) return ArchiveCheck::RecordIndexOutOfRange;
        if (records[r].storedLength != 0 && records[r].data == nullptr) return ArchiveCheck::RecordWithoutData;
    }
    // Records per archive are few (at most ~90 in practice); the quadratic check is cheap
    // and needs no allocation.
    for (uint32_t r = 0; r < recordCount; ++r)
        for (uint32_t s = r + 1; s < recordCount; ++s)
            if (records[r].entryIndex == records[s].entryIndex) return ArchiveCheck::DuplicateRecordIndex;
    return ArchiveCheck::Ok;
}

ArchiveCheck PlanArchiveRewrite(unsigned char* table, uint16_t entryCount,
                                const EntryPatch* records, uint32_t recordCount,
                                uint32_t* newSize) {
    for (uint32_t r = 0; r < recordCount; ++r) {
        SetArcStoredLength(table, records[r].entryIndex, records[r].storedLength);
        SetArcSizeWord(table, records[r].entryIndex, records[r].sizeWord | kSizeWordReplacedBit);
    }
    // Data is packed back to back in table order from entry 0's offset, which stays put.
    uint64_t offset = ArcDataOffset(table, 0);
    for (uint32_t i = 0; i < entryCount; ++i) {
        if (offset >= kMaxArchiveSize) return ArchiveCheck::LayoutTooLarge;
        SetArcDataOffset(table, i, static_cast<uint32_t>(offset));
        offset += ArcStoredLength(table, i);
    }
    if (offset >= kMaxArchiveSize) return ArchiveCheck::LayoutTooLarge;
    *newSize = static_cast<uint32_t>(offset);
    return ArchiveCheck::Ok;
}

const EntryPatch* FindEntryPatch(const EntryPatch* records, uint32_t recordCount, uint32_t i) {
    for (uint32_t r = 0; r < recordCount; ++r)
        if (records[r].entryIndex == i) return &records[r];
    return nullptr;
}
