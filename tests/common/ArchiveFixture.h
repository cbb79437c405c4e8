// Small archives built by hand for the Win32 patcher tests, with their expected rewrite
// computed directly from the entries (not through the patcher's plan code).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "TestBytes.h"

struct FixtureEntry {
    Bytes data;
    uint32_t sizeWord;
};

struct FixtureRecord {
    uint32_t index;
    uint32_t sizeWord;
    Bytes data;
};

struct FixtureArchive {
    std::vector<FixtureEntry> entries;
    uint32_t gapBeforeData = 0;   // bytes between the table and entry 0's data
    uint32_t gapBetween = 0;      // bytes between consecutive entries' data
    bool reversedData = false;    // entry 0 first, then the others in reverse table order
    uint32_t trailing = 0;        // bytes after the last entry's data
};

Bytes BuildArchive(const FixtureArchive& a);
Bytes ExpectedArchive(const FixtureArchive& a, const std::vector<FixtureRecord>& records);

// A typical archive: gaps, out-of-order data, trailing bytes, a zero-length entry.
FixtureArchive TypicalArchive();
