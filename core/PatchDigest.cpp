#include "core/PatchDigest.h"

#include <cstring>

namespace {

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1; // upper case is not the stored form either
}

} // namespace

void FormatSha256(const unsigned char (&sha256)[kSha256Size], char (&hex)[2 * kSha256Size + 1]) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < kSha256Size; ++i) {
        hex[2 * i] = digits[sha256[i] >> 4];
        hex[2 * i + 1] = digits[sha256[i] & 15];
    }
    hex[2 * kSha256Size] = 0;
}

bool ParsePatchDigest(const unsigned char* bytes, size_t size, PatchDigest* out) {
    if (!bytes) return false;
    PatchDigest digest{};
    size_t pos = 0;
    int next = 0; // parts must come in order: the first one a line may name
    while (pos < size) {
        if (size - pos < 2 * kSha256Size + 2) return false;
        unsigned char hash[kSha256Size];
        for (size_t i = 0; i < kSha256Size; ++i) {
            int high = HexValue(bytes[pos + 2 * i]), low = HexValue(bytes[pos + 2 * i + 1]);
            if (high < 0 || low < 0) return false;
            hash[i] = static_cast<unsigned char>(high << 4 | low);
        }
        pos += 2 * kSha256Size;
        if (bytes[pos] != ' ' || bytes[pos + 1] != ' ') return false;
        pos += 2;
        const unsigned char* end = static_cast<const unsigned char*>(std::memchr(bytes + pos, '\n', size - pos));
        if (!end) return false;
        size_t nameLength = size_t(end - (bytes + pos));
        int part = next;
        while (part < kPatchPartCount && (std::strlen(kPatchParts[part].fileName) != nameLength ||
                                          std::memcmp(kPatchParts[part].fileName, bytes + pos, nameLength) != 0))
            ++part;
        if (part == kPatchPartCount) return false;
        digest.listed[part] = true;
        std::memcpy(digest.sha256[part], hash, kSha256Size);
        next = part + 1;
        pos += nameLength + 1;
    }
    for (int part = 0; part < kPatchPartCount; ++part)
        if (!kPatchParts[part].optional && !digest.listed[part]) return false;
    *out = digest;
    return true;
}

bool PartMatchesDigest(const PatchDigest& digest, PatchPart part, bool present,
                       const unsigned char (&sha256)[kSha256Size]) {
    if (part < 0 || part >= kPatchPartCount) return false;
    if (digest.listed[part] != present) return false;
    return !present || std::memcmp(digest.sha256[part], sha256, kSha256Size) == 0;
}

std::string FormatPatchDigest(const PatchDigest& digest) {
    std::string text;
    for (int part = 0; part < kPatchPartCount; ++part) {
        if (!digest.listed[part]) continue;
        char hex[2 * kSha256Size + 1];
        FormatSha256(digest.sha256[part], hex);
        text += std::string(hex) + "  " + kPatchParts[part].fileName + "\n";
    }
    return text;
}
