#include "tools/patchbuild/ByteSource.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "tools/patchbuild/FileCalls.h"

namespace {
std::string Describe(const std::filesystem::path& path, const char* what) {
    return path.u8string() + ": " + what + " (" + std::strerror(errno) + ")";
}
} // namespace

bool MemorySource::ReadAt(uint64_t offset, unsigned char* out, size_t count) {
    if (offset > m_size || count > m_size - offset) return false;
    if (count) std::memcpy(out, m_data + offset, count);
    return true;
}

FileSource::~FileSource() {
    if (m_file) std::fclose(m_file);
}

bool FileSource::Open(const std::filesystem::path& path, std::string* error) {
    m_file = OpenFile(path, "rb");
    if (!m_file) {
        *error = Describe(path, "cannot open");
        return false;
    }
    if (!FileEnd(m_file, &m_size)) {
        *error = Describe(path, "cannot tell its size");
        return false;
    }
    return true;
}

bool FileSource::ReadAt(uint64_t offset, unsigned char* out, size_t count) {
    if (!m_file || offset > m_size || count > m_size - offset) return false;
    if (!SeekFile(m_file, offset)) return false;
    return std::fread(out, 1, count, m_file) == count;
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<unsigned char>* bytes, std::string* error) {
    FileSource file;
    if (!file.Open(path, error)) return false;
    if (file.Size() > (uint64_t(1) << 32)) {
        *error = path.u8string() + ": too large";
        return false;
    }
    bytes->resize(size_t(file.Size()));
    if (!file.ReadAt(0, bytes->data(), bytes->size())) {
        *error = Describe(path, "cannot read");
        return false;
    }
    return true;
}
