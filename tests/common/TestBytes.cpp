#include "TestBytes.h"

#include <fstream>
#include <iterator>

uint32_t GetU32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

void AppendU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

Bytes Flipped(const Bytes& bytes, size_t at, unsigned char bits) {
    Bytes b = bytes;
    b[at] ^= bits;
    return b;
}

Bytes WithU32(const Bytes& bytes, size_t at, uint32_t value) {
    Bytes b = bytes;
    PutU32(b, at, value);
    return b;
}

Bytes Appended(const Bytes& bytes, unsigned char byte) {
    Bytes b = bytes;
    b.push_back(byte);
    return b;
}

Bytes Pattern(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 12345;
    for (auto& c : out) {
        x ^= x << 13; x ^= x >> 17; x ^= x << 5;
        c = static_cast<unsigned char>(x);
    }
    return out;
}

Bytes Noise(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (auto& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<unsigned char>(x >> 7);
    }
    return out;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
