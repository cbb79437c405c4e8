// Random-access reading of archive, payload and manifest bytes: files on disk for the
// command, memory for the tests. Archives can be larger than memory, so nothing here loads
// a whole file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly count bytes at offset; false when they are not all there or I/O fails.
    virtual bool ReadAt(uint64_t offset, unsigned char* out, size_t count) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}
    explicit MemorySource(const std::vector<unsigned char>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, unsigned char* out, size_t count) override;

private:
    const unsigned char* m_data;
    size_t m_size;
};

class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    // On failure *error says why (with the path).
    bool Open(const std::filesystem::path& path, std::string* error);
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, unsigned char* out, size_t count) override;

private:
    std::FILE* m_file = nullptr;
    uint64_t m_size = 0;
};

// Whole small files (manifest, fingerprints).
bool ReadWholeFile(const std::filesystem::path& path, std::vector<unsigned char>* bytes, std::string* error);
