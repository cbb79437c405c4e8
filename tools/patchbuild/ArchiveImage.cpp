#include "tools/patchbuild/ArchiveImage.h"

#include <algorithm>

#include "core/ArchiveFormat.h"
#include "core/Fingerprints.h"

namespace {
constexpr size_t kChunk = 1 << 20;
} // namespace

uint16_t ArchiveImage::EntryCount() const { return ArcEntryCount(header); }
uint32_t ArchiveImage::StoredLength(uint32_t i) const { return ArcStoredLength(table.data(), i); }
uint32_t ArchiveImage::SizeWord(uint32_t i) const { return ArcSizeWord(table.data(), i); }
uint32_t ArchiveImage::DataOffset(uint32_t i) const { return ArcDataOffset(table.data(), i); }
const unsigned char* ArchiveImage::Lead(uint32_t i) const { return table.data() + size_t(i) * kArcEntrySize; }

bool ReadArchiveImage(ByteSource& source, ArchiveImage* image, std::string* why) {
    image->fileSize = source.Size();
    if (image->fileSize < kArcHeaderSize) {
        *why = ArchiveCheckName(ArchiveCheck::TooShortForHeader);
        return false;
    }
    if (!source.ReadAt(0, image->header, kArcHeaderSize)) {
        *why = "cannot read the header";
        return false;
    }
    ArchiveCheck check = CheckArchiveHeader(image->header, image->fileSize);
    if (check != ArchiveCheck::Ok) {
        *why = ArchiveCheckName(check);
        return false;
    }
    image->table.resize(ArcTableSize(image->EntryCount()));
    if (!source.ReadAt(kArcHeaderSize, image->table.data(), image->table.size())) {
        *why = "cannot read the entry table";
        return false;
    }
    check = CheckArchiveTable(image->header, image->table.data(), image->fileSize);
    if (check != ArchiveCheck::Ok) {
        *why = ArchiveCheckName(check);
        return false;
    }
    return true;
}

bool DigestEntry(ByteSource& source, uint64_t offset, uint32_t length, uint64_t* digest,
                 const ReadProgress& progress) {
    std::vector<unsigned char> buffer(std::min<size_t>(kChunk, length));
    uint64_t hash = kFnvOffsetBasis;
    for (uint32_t done = 0; done < length;) {
        size_t n = std::min<size_t>(kChunk, length - done);
        if (!source.ReadAt(offset + done, buffer.data(), n)) return false;
        hash = FnvAppend(hash, buffer.data(), n);
        done += uint32_t(n);
        if (progress) progress(n);
    }
    *digest = hash;
    return true;
}

bool DigestAndCompare(ByteSource& original, uint64_t originalOffset, ByteSource& other,
                      uint64_t otherOffset, uint32_t length, uint64_t* digest, bool* equal,
                      const ReadProgress& progress) {
    size_t size = std::min<size_t>(kChunk, length);
    std::vector<unsigned char> a(size), b(size);
    uint64_t hash = kFnvOffsetBasis;
    bool same = true;
    for (uint32_t done = 0; done < length;) {
        size_t n = std::min<size_t>(kChunk, length - done);
        if (!original.ReadAt(originalOffset + done, a.data(), n)) return false;
        hash = FnvAppend(hash, a.data(), n);
        uint64_t read = n;
        // Once the bytes differ, only the digest needs the rest.
        if (same) {
            if (!other.ReadAt(otherOffset + done, b.data(), n)) return false;
            same = std::equal(a.begin(), a.begin() + n, b.begin());
            read += n;
        }
        done += uint32_t(n);
        if (progress) progress(read);
    }
    *digest = hash;
    *equal = same;
    return true;
}

bool SameBytes(ByteSource& source, uint64_t offset, ByteSource& other, uint64_t otherOffset,
               uint32_t length, bool* equal, const ReadProgress& progress) {
    size_t size = std::min<size_t>(kChunk, length);
    std::vector<unsigned char> a(size), b(size);
    for (uint32_t done = 0; done < length;) {
        size_t n = std::min<size_t>(kChunk, length - done);
        if (!source.ReadAt(offset + done, a.data(), n) || !other.ReadAt(otherOffset + done, b.data(), n))
            return false;
        if (progress) progress(2 * n);
        if (!std::equal(a.begin(), a.begin() + n, b.begin())) {
            *equal = false;
            return true;
        }
        done += uint32_t(n);
    }
    *equal = true;
    return true;
}

uint64_t FoldContentHash(const ArchiveImage& image, const std::vector<uint64_t>& digests,
                         const std::vector<bool>& chosen) {
    uint64_t hash = kFnvOffsetBasis;
    for (uint32_t i = 0; i < image.EntryCount(); ++i) {
        if (!chosen[i]) continue;
        hash = FnvAppendU32(hash, i);
        hash = FnvAppendU32(hash, image.StoredLength(i));
        hash = FnvAppendU32(hash, image.SizeWord(i));
        hash = FnvAppendU32(hash, uint32_t(digests[i]));
        hash = FnvAppendU32(hash, uint32_t(digests[i] >> 32));
    }
    return hash;
}
