// The fingerprint table parser on arbitrary bytes.
//
// Properties, besides no crash, undefined behaviour or leak: a table that parses is consumed
// exactly (written back it gives the same bytes); a failed parse leaves the output alone;
// every name is NUL-terminated with no NUL before its end; a lookup by a stored name finds
// the first item of that name.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "core/FingerprintWriter.h"
#include "core/Fingerprints.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FingerprintTable table{0xDEADBEEF, nullptr, 0xDEADBEEF};
    if (!ParseFingerprints(data, size, &table)) {
        FUZZ_CHECK(table.count == 0xDEADBEEF && table.items == nullptr && table.version == 0xDEADBEEF);
        return 0;
    }
    std::vector<FingerprintRecord> records(table.count);
    for (uint32_t i = 0; i < table.count; ++i) {
        const ArchiveFingerprint& item = table.items[i];
        FUZZ_CHECK(item.nameLength >= 2 && item.name[item.nameLength - 1] == 0);
        for (uint32_t k = 0; k + 1 < item.nameLength; ++k) FUZZ_CHECK(item.name[k] != 0);
        records[i] = {std::u16string(item.name, item.nameLength - 1), item.entryCount, item.tableHash,
                      item.keptHash, item.originalHash, {}};
        FUZZ_CHECK(item.hasHeader == (table.version == kFingerprintVersion));
        if (item.hasHeader) std::copy(item.header, item.header + kFingerprintHeaderSize, records[i].header.begin());
        const ArchiveFingerprint* found = FindFingerprint(table, item.name);
        FUZZ_CHECK(found != nullptr && found <= &item && std::u16string(found->name) == records[i].name);
        std::u16string longer = records[i].name + u"x";
        const ArchiveFingerprint* other = FindFingerprint(table, longer.c_str());
        FUZZ_CHECK(other == nullptr || std::u16string(other->name) == longer);
    }
    FUZZ_CHECK(SerializeFingerprints(records, table.version) == std::vector<unsigned char>(data, data + size));
    FreeFingerprintTable(&table);
    FUZZ_CHECK(table.count == 0 && table.items == nullptr);
    return 0;
}
