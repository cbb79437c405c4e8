#include "archive/Streaming.h"

#include "win/HeapBuffer.h"
#include "win/WinFile.h"

namespace {
constexpr uint32_t kFillBufferSize = 0x20000; // 128 KiB, per WriteFill call
} // namespace

bool CopyFileRange(HANDLE source, uint32_t offset, uint32_t length, HANDLE destination,
                   unsigned char* buffer) {
    if (length == 0) return true;
    if (!SeekHandle(source, offset)) return false;
    for (uint32_t chunks = length / kCopyBufferSize; chunks; --chunks) {
        if (!ReadExact(source, buffer, kCopyBufferSize) || !WriteAll(destination, buffer, kCopyBufferSize))
            return false;
    }
    uint32_t rest = length % kCopyBufferSize;
    return !rest || (ReadExact(source, buffer, rest) && WriteAll(destination, buffer, rest));
}

bool WriteFill(HANDLE file, uint32_t length, unsigned char fill) {
    if (length == 0) return true;
    HeapBuffer buffer(kFillBufferSize);
    if (!buffer) return false;
    FillMemory(buffer.Get(), kFillBufferSize, fill);
    for (uint32_t chunks = length / kFillBufferSize; chunks; --chunks)
        if (!WriteAll(file, buffer.Get(), kFillBufferSize)) return false;
    uint32_t rest = length % kFillBufferSize;
    return !rest || WriteAll(file, buffer.Get(), rest);
}
