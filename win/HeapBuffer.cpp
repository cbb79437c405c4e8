#include "win/HeapBuffer.h"

#include "win/IoFaults.h"

HeapBuffer::HeapBuffer(size_t size) {
    if (IoFaultInjected(IoOp::Alloc)) return;
    m_data = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, size ? size : 1));
}

HeapBuffer::~HeapBuffer() {
    if (m_data) HeapFree(GetProcessHeap(), 0, m_data);
}

HeapBuffer& HeapBuffer::operator=(HeapBuffer&& other) noexcept {
    if (this != &other) {
        if (m_data) HeapFree(GetProcessHeap(), 0, m_data);
        m_data = other.m_data;
        other.m_data = nullptr;
    }
    return *this;
}
