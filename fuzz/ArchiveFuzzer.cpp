// The archive header and table checks and the rewrite planner on arbitrary bytes.
//
// Input: a record count byte (0-4), per record 2 bytes entry index, 4 bytes size word and
// 4 bytes stored length, then the archive file itself. Records up to 4 KiB get real data
// and the rewrite is carried out in memory; longer ones only go through the planner (its
// 2 GiB guard). Properties, besides no crash or undefined behaviour:
//   * a table that passes the checks has every entry's data inside the file;
//   * the plan packs the data back to back from entry 0's unchanged offset, and refuses
//     exactly the layouts that would reach 2 GiB;
//   * the rewritten archive passes the checks, and no shorter prefix of it does (so an
//     interrupted rewrite is always recognised);
//   * the rewrite keeps the header, every entry's leading bytes, every untouched entry's
//     size word and data, zero fill before the data, and rewriting it again with the same
//     records gives the same bytes;
//   * the installer's look at whether an archive already holds its rewrite (which it then
//     leaves as it is) says so exactly when the rewrite gives the file's bytes back: for the
//     input, for its rewrite, and for the rewrite with one byte changed.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "core/ArchiveFormat.h"
#include "core/PatchedState.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr uint32_t kRealDataLimit = 4096;

unsigned char g_recordData[kRealDataLimit];

struct Cursor {
    const uint8_t* p;
    size_t n;
    bool Take(void* out, size_t count) {
        if (count > n) return false;
        std::memcpy(out, p, count);
        p += count;
        n -= count;
        return true;
    }
};

bool Intact(const Bytes& file) {
    unsigned char header[kArcHeaderSize] = {};
    if (file.size() >= kArcHeaderSize) std::memcpy(header, file.data(), kArcHeaderSize);
    if (CheckArchiveHeader(header, file.size()) != ArchiveCheck::Ok) return false;
    return CheckArchiveTable(header, file.data() + kArcHeaderSize, file.size()) == ArchiveCheck::Ok;
}

// The rewrite as the Win32 patcher writes it: header, planned table, zero fill, every entry
// in table order from the records or the source.
bool Rewrite(const Bytes& source, const std::vector<EntryPatch>& records, Bytes* out, uint32_t* plannedSize) {
    const uint16_t n = ArcEntryCount(source.data());
    const uint32_t tableSize = ArcTableSize(n);
    const unsigned char* sourceTable = source.data() + kArcHeaderSize;
    Bytes table(sourceTable, sourceTable + tableSize);
    if (PlanArchiveRewrite(table.data(), n, records.data(), static_cast<uint32_t>(records.size()), plannedSize) !=
        ArchiveCheck::Ok)
        return false;
    out->assign(source.begin(), source.begin() + kArcHeaderSize);
    out->insert(out->end(), table.begin(), table.end());
    out->resize(ArcDataOffset(table.data(), 0), 0);
    for (uint32_t i = 0; i < n; ++i) {
        const EntryPatch* patch = FindEntryPatch(records.data(), static_cast<uint32_t>(records.size()), i);
        if (patch) {
            out->insert(out->end(), patch->data, patch->data + patch->storedLength);
        } else {
            const uint32_t at = ArcDataOffset(sourceTable, i);
            out->insert(out->end(), source.begin() + at, source.begin() + at + ArcStoredLength(sourceTable, i));
        }
    }
    return true;
}

bool ReadFromBytes(void* context, uint32_t offset, unsigned char* buffer, uint32_t count) {
    const Bytes& file = *static_cast<const Bytes*>(context);
    FUZZ_CHECK(uint64_t(offset) + count <= file.size()); // the look reads only inside the file
    std::memcpy(buffer, file.data() + offset, count);
    return true;
}

// The installer's look: true when the archive already holds what its rewrite would write.
bool HoldsItsRewrite(const Bytes& file, const std::vector<EntryPatch>& records) {
    if (file.size() < kArcHeaderSize) return false;
    const uint16_t n = ArcEntryCount(file.data());
    if (n == 0 || kArcHeaderSize + uint64_t(ArcTableSize(n)) > file.size()) return false;
    const unsigned char* table = file.data() + kArcHeaderSize;
    Bytes planned(ArcTableSize(n));
    const uint32_t count = static_cast<uint32_t>(records.size());
    if (!RewriteKeepsTable(file.data(), table, file.size(), records.data(), count, planned.data())) return false;
    unsigned char buffer[61]; // an odd piece size, so pieces end anywhere
    return CompareRewrittenBytes(table, n, records.data(), count, buffer, sizeof buffer,
                                 {ReadFromBytes, const_cast<Bytes*>(&file)}) == RewrittenBytes::Same;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_recordData[1] == 0)
        for (uint32_t i = 0; i < kRealDataLimit; ++i) g_recordData[i] = static_cast<unsigned char>(i * 7 + 1);

    Cursor in{data, size};
    uint8_t recordCount = 0;
    if (!in.Take(&recordCount, 1)) return 0;
    recordCount %= 5;
    std::vector<EntryPatch> records;
    bool realData = true;
    for (uint8_t r = 0; r < recordCount; ++r) {
        uint16_t index = 0;
        uint32_t word = 0, length = 0;
        if (!in.Take(&index, 2) || !in.Take(&word, 4) || !in.Take(&length, 4)) return 0;
        if (length > kRealDataLimit) realData = false;
        // Long records point at a dummy byte: the planner reads lengths, never data.
        records.push_back({index, word, length, 0, g_recordData});
    }
    const Bytes file(in.p, in.p + in.n);

    // Header and table checks.
    unsigned char header[kArcHeaderSize] = {};
    if (file.size() >= kArcHeaderSize) std::memcpy(header, file.data(), kArcHeaderSize);
    if (CheckArchiveHeader(header, file.size()) != ArchiveCheck::Ok) {
        FUZZ_CHECK(!Intact(file));
        return 0;
    }
    const uint16_t n = ArcEntryCount(header);
    FUZZ_CHECK(n > 0 && kArcHeaderSize + uint64_t(ArcTableSize(n)) <= file.size());
    const unsigned char* table = file.data() + kArcHeaderSize;
    if (CheckArchiveTable(header, table, file.size()) != ArchiveCheck::Ok) return 0;
    FUZZ_CHECK(ArcDataOffset(table, 0) >= kArcHeaderSize + ArcTableSize(n));
    for (uint32_t i = 0; i < n; ++i)
        FUZZ_CHECK(uint64_t(ArcDataOffset(table, i)) + ArcStoredLength(table, i) <= file.size());

    // Records.
    ArchiveCheck recordCheck = CheckPatchRecords(n, records.data(), recordCount);
    bool valid = true;
    for (uint8_t r = 0; r < recordCount; ++r) {
        if (records[r].entryIndex >= n) valid = false;
        for (uint8_t s = r + 1; s < recordCount; ++s)
            if (records[s].entryIndex == records[r].entryIndex) valid = false;
    }
    FUZZ_CHECK(valid == (recordCheck == ArchiveCheck::Ok));
    if (!valid) return 0;

    // The plan against a direct sum.
    uint64_t expectedSize = ArcDataOffset(table, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const EntryPatch* patch = FindEntryPatch(records.data(), recordCount, i);
        expectedSize += patch ? patch->storedLength : ArcStoredLength(table, i);
    }
    Bytes planned(table, table + ArcTableSize(n));
    uint32_t newSize = 0;
    ArchiveCheck plan = PlanArchiveRewrite(planned.data(), n, records.data(), recordCount, &newSize);
    FUZZ_CHECK((plan == ArchiveCheck::Ok) == (expectedSize < kMaxArchiveSize));
    if (plan != ArchiveCheck::Ok) return 0;
    FUZZ_CHECK(newSize == expectedSize);
    FUZZ_CHECK(ArcDataOffset(planned.data(), 0) == ArcDataOffset(table, 0));
    for (uint32_t i = 0; i + 1 < n; ++i)
        FUZZ_CHECK(ArcDataOffset(planned.data(), i) + uint64_t(ArcStoredLength(planned.data(), i)) ==
                   ArcDataOffset(planned.data(), i + 1));
    if (!realData) return 0;

    // The rewrite carried out.
    Bytes out;
    uint32_t plannedSize = 0;
    FUZZ_CHECK(Rewrite(file, records, &out, &plannedSize));
    FUZZ_CHECK(out.size() == plannedSize);
    FUZZ_CHECK(Intact(out));
    const size_t dataStart = ArcDataOffset(table, 0);
    const size_t cuts[] = {0, 7, 8, kArcHeaderSize + ArcTableSize(n) - 1, kArcHeaderSize + ArcTableSize(n),
                           dataStart, out.size() / 2, out.size() - 1, size % (out.size() + 1)};
    for (size_t cut : cuts)
        if (cut < out.size()) FUZZ_CHECK(!Intact(Bytes(out.begin(), out.begin() + cut)));

    FUZZ_CHECK(std::memcmp(out.data(), file.data(), kArcHeaderSize) == 0);
    const unsigned char* outTable = out.data() + kArcHeaderSize;
    for (uint32_t i = 0; i < n; ++i) {
        FUZZ_CHECK(std::memcmp(outTable + i * kArcEntrySize, table + i * kArcEntrySize, kArcEntryLeadSize) == 0);
        const EntryPatch* patch = FindEntryPatch(records.data(), recordCount, i);
        const uint32_t at = ArcDataOffset(outTable, i);
        if (patch) {
            FUZZ_CHECK(ArcSizeWord(outTable, i) == (patch->sizeWord | kSizeWordReplacedBit));
            FUZZ_CHECK(std::memcmp(out.data() + at, patch->data, patch->storedLength) == 0);
        } else {
            FUZZ_CHECK(ArcSizeWord(outTable, i) == ArcSizeWord(table, i));
            FUZZ_CHECK(ArcStoredLength(outTable, i) == ArcStoredLength(table, i));
            FUZZ_CHECK(std::memcmp(out.data() + at, file.data() + ArcDataOffset(table, i), ArcStoredLength(table, i)) == 0);
        }
    }
    for (size_t i = kArcHeaderSize + ArcTableSize(n); i < dataStart; ++i) FUZZ_CHECK(out[i] == 0);

    // A second run over the rewritten archive (a recovery starts from either) changes nothing.
    Bytes again;
    FUZZ_CHECK(Rewrite(out, records, &again, &plannedSize));
    FUZZ_CHECK(again == out);

    // The look: exactly when the rewrite gives the bytes back.
    FUZZ_CHECK(HoldsItsRewrite(file, records) == (out == file));
    FUZZ_CHECK(HoldsItsRewrite(out, records));
    if (!out.empty()) {
        Bytes changed = out;
        changed[size % out.size()] ^= static_cast<unsigned char>(1 + size % 255);
        Bytes rewritten;
        // A changed entry count may leave the records past the table: refused, never held.
        if (Intact(changed) &&
            CheckPatchRecords(ArcEntryCount(changed.data()), records.data(), recordCount) == ArchiveCheck::Ok &&
            Rewrite(changed, records, &rewritten, &plannedSize))
            FUZZ_CHECK(HoldsItsRewrite(changed, records) == (rewritten == changed));
        else
            FUZZ_CHECK(!HoldsItsRewrite(changed, records));
    }
    return 0;
}
