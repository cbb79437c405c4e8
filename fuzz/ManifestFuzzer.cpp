// The manifest parser and the payload resolution on arbitrary bytes.
//
// Properties, besides no crash, undefined behaviour or leak:
//   * a manifest that parses is consumed exactly: written back it gives the same bytes;
//   * every parsed name is NUL-terminated, relative, without "..", ":" or "/", and does not
//     end in "tmp" (its temporary file would be the archive itself);
//   * resolution against a payload accepts a table only when every record with data lies
//     inside the payload, and then points each record at payload + offset.
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "core/ManifestWriter.h"
#include "core/PatchManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0xDEADBEEF;
    if (!ParsePatchManifest(data, size, &sets, &count)) {
        FUZZ_CHECK(sets == nullptr && count == 0xDEADBEEF); // untouched on failure
        return 0;
    }

    std::vector<ManifestArchive> archives(count);
    for (uint32_t i = 0; i < count; ++i) {
        const ArchivePatchSet& set = sets[i];
        FUZZ_CHECK(set.nameLength >= 2 && set.nameLength <= kMaxManifestNameLength);
        FUZZ_CHECK(set.name[set.nameLength - 1] == 0);
        const char16_t* name = set.name;
        const uint32_t units = set.nameLength - 1;
        FUZZ_CHECK(name[0] != u'\\');
        for (uint32_t k = 0; k < units; ++k) FUZZ_CHECK(name[k] != 0 && name[k] != u':' && name[k] != u'/');
        for (uint32_t k = 0; k + 1 < units; ++k) {
            bool startsComponent = k == 0 || name[k - 1] == u'\\';
            bool endsComponent = k + 2 == units || name[k + 2] == u'\\';
            FUZZ_CHECK(!(startsComponent && endsComponent && name[k] == u'.' && name[k + 1] == u'.'));
        }
        const char16_t* tail = name + units - 3;
        FUZZ_CHECK(!((tail[0] | 0x20) == u't' && (tail[1] | 0x20) == u'm' && (tail[2] | 0x20) == u'p'));
        archives[i].name.assign(name, units);
        archives[i].records.assign(set.records, set.records + set.recordCount);
    }
    FUZZ_CHECK(SerializeManifest(archives) == std::vector<unsigned char>(data, data + size));

    // Resolution against payloads of a few sizes around the records' ends.
    std::vector<unsigned char> payload(size % 3000);
    for (uint32_t i = 0; i < count; ++i) {
        ArchivePatchSet& set = sets[i];
        bool inside = true;
        for (uint32_t r = 0; r < set.recordCount; ++r) {
            const EntryPatch& p = set.records[r];
            if (p.storedLength && uint64_t(p.payloadOffset) + p.storedLength > payload.size()) inside = false;
        }
        bool resolved = ResolvePatchSet(&set, payload.data(), payload.size());
        FUZZ_CHECK(resolved == inside);
        for (uint32_t r = 0; r < set.recordCount; ++r) {
            if (resolved) FUZZ_CHECK(set.records[r].data == payload.data() + set.records[r].payloadOffset);
            else FUZZ_CHECK(set.records[r].data == nullptr);
        }
    }
    FreePatchSets(sets, count);
    return 0;
}
