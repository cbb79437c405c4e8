// A block from the process heap, released in the destructor; its allocation goes through the
// I/O test seam (IoOp::Alloc), so tests can make it fail.
#pragma once
#include <windows.h>

#include <cstddef>

// Null (false) when the allocation failed.
class HeapBuffer {
public:
    HeapBuffer() = default;
    explicit HeapBuffer(size_t size);
    ~HeapBuffer();
    HeapBuffer(HeapBuffer&& other) noexcept : m_data(other.m_data) { other.m_data = nullptr; }
    HeapBuffer& operator=(HeapBuffer&& other) noexcept;
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    unsigned char* Get() const { return m_data; }
    explicit operator bool() const { return m_data != nullptr; }

private:
    unsigned char* m_data = nullptr;
};
