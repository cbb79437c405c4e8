// Bytes for tests: little-endian fields, deterministic pseudo-random contents, whole files.
// Portable; shared by the native and the Win32 tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

using Bytes = std::vector<unsigned char>;

uint32_t GetU32(const Bytes& bytes, size_t at);
void PutU32(Bytes& bytes, size_t at, uint32_t value);
void AppendU32(Bytes& bytes, uint32_t value);

// A copy with one change: a byte's bits flipped, a little-endian field set, a byte appended.
Bytes Flipped(const Bytes& bytes, size_t at, unsigned char bits = 0x01);
Bytes WithU32(const Bytes& bytes, size_t at, uint32_t value);
Bytes Appended(const Bytes& bytes, unsigned char byte);

// Pseudo-random bytes (xorshift32), the same for the same seed. Two streams, kept as they
// were when each test family chose its own: Pattern for the hand-built Win32 fixtures, Noise
// for the authoring samples.
Bytes Pattern(size_t size, uint32_t seed);
Bytes Noise(size_t size, uint32_t seed);

// A whole file; empty when it cannot be read.
Bytes ReadFileBytes(const std::filesystem::path& path);
// Creates the file's folders first.
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);
