// Forward-only cursor over resource bytes. Every read is checked against the end, so a
// manifest shorter than its counts claim fails instead of reading past the resource.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

class ResourceReader {
public:
    ResourceReader(const unsigned char* base, size_t size) : m_base(base), m_size(size) {}

    bool Read(void* dest, size_t count) {
        if (count > m_size - m_pos) return false;
        if (count) std::memcpy(dest, m_base + m_pos, count);
        m_pos += count;
        return true;
    }
    bool ReadU32(uint32_t* value) {
        unsigned char b[4];
        if (!Read(b, 4)) return false;
        *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    size_t Remaining() const { return m_size - m_pos; }

private:
    const unsigned char* m_base;
    size_t m_size;
    size_t m_pos = 0;
};
