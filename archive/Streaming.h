// The rewrite's two streaming routines: entry data copied from the source through one
// buffer, and zero fill.
#pragma once
#include <windows.h>

#include <cstdint>

// 256 KiB: read into the buffer and written out again while it is still in the processor's
// cache. A 1 MiB buffer doubled the kernel's copying time on the benchmark machine.
constexpr uint32_t kCopyBufferSize = 0x40000;

// Streams length bytes from offset of source to the destination's current position through
// buffer (kCopyBufferSize bytes, the caller's, so that one block serves every entry). A
// length of 0 does nothing (and does not seek). False when a seek, read or write fails.
bool CopyFileRange(HANDLE source, uint32_t offset, uint32_t length, HANDLE destination,
                   unsigned char* buffer);

// Appends length copies of the fill byte through a 128 KiB buffer. False when the
// allocation or a write fails.
bool WriteFill(HANDLE file, uint32_t length, unsigned char fill);
