// Archives for the patch-authoring tests, built and taken apart here directly from the
// format (not through the code under test), and the installer's rewrite restated from the
// format's rules so that a native test can tell what a patch run leaves behind.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TestBytes.h"

struct SampleEntry {
    Bytes lead;        // 68 bytes
    Bytes data;
    uint32_t sizeWord = 0;
};

struct SampleArchive {
    unsigned char headerLead[6] = {'T', 'A', 'R', 'C', 9, 2};
    std::vector<SampleEntry> entries;
    // Layout of the data region when built.
    uint32_t gap = 0;         // bytes between the table and the first data
    uint32_t between = 0;     // bytes between entries' data
    bool reversed = false;    // entry 0 first, then the others in reverse table order
    uint32_t trailing = 0;    // bytes after the last entry's data
};

struct SampleRecord {
    uint32_t index;
    uint32_t sizeWord;
    Bytes data;
};

// 68 leading bytes that name the entry (like a resource path).
Bytes EntryLead(const std::string& name);

// An archive of n entries of varied lengths (one of them empty) with names "<tag>/nnn".
SampleArchive MakeSample(uint32_t n, uint32_t seed, const std::string& tag);

Bytes BuildSample(const SampleArchive& archive);
// Takes a built archive apart (layout fields are left 0). False if it is not well formed.
bool ParseSample(const Bytes& bytes, SampleArchive* archive);

// What the installer's rewrite makes of an archive: replaced entries take the record's
// data and word | bit 30; all data packed in table order from entry 0's offset, zero gap.
Bytes ReferenceRewrite(const Bytes& archive, const std::vector<SampleRecord>& records);

std::filesystem::path DiskPathOf(const std::filesystem::path& root, const std::string& backslashName);
