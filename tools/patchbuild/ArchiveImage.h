// An archive's header and entry table as read from a source, and streaming operations on
// its entries' data (digest, comparison, copy) through one fixed buffer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/patchbuild/ByteSource.h"

struct ArchiveImage {
    unsigned char header[8] = {};
    std::vector<unsigned char> table; // N x 80 bytes
    uint64_t fileSize = 0;

    uint16_t EntryCount() const;
    uint32_t StoredLength(uint32_t i) const;
    uint32_t SizeWord(uint32_t i) const;
    uint32_t DataOffset(uint32_t i) const;
    const unsigned char* Lead(uint32_t i) const; // the record's 68 leading bytes
};

// Reads and checks header and table: a source that passes holds every entry's data.
// On failure *why says what is wrong with it (or that it could not be read).
bool ReadArchiveImage(ByteSource& source, ArchiveImage* image, std::string* why);

// Called with the number of data bytes just read (for progress display).
using ReadProgress = std::function<void(uint64_t bytes)>;

// FNV-1a 64 of one entry's stored bytes. False on a read failure.
bool DigestEntry(ByteSource& source, uint64_t offset, uint32_t length, uint64_t* digest,
                 const ReadProgress& progress);

// Digest of the original entry and whether the other entry holds the same bytes, in one
// pass over both. Equal lengths are the caller's business: this compares `length` bytes.
bool DigestAndCompare(ByteSource& original, uint64_t originalOffset, ByteSource& other,
                      uint64_t otherOffset, uint32_t length, uint64_t* digest, bool* equal,
                      const ReadProgress& progress);

// Whether `length` bytes of the source at `offset` equal the given bytes.
bool SameBytes(ByteSource& source, uint64_t offset, ByteSource& other, uint64_t otherOffset,
               uint32_t length, bool* equal, const ReadProgress& progress);

// Content hash of a set of entries (see core/Fingerprints.h): folds each chosen entry's
// index, stored length, size word and data digest, in table order.
uint64_t FoldContentHash(const ArchiveImage& image, const std::vector<uint64_t>& digests,
                         const std::vector<bool>& chosen);
