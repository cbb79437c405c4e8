#include "tools/patchbuild/FileCalls.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
    wchar_t wide[8] = {};
    for (int i = 0; mode[i] && i < 7; ++i) wide[i] = wchar_t(mode[i]);
    return _wfopen(path.c_str(), wide);
}

bool SeekFile(std::FILE* file, uint64_t offset) { return _fseeki64(file, int64_t(offset), SEEK_SET) == 0; }

bool FileEnd(std::FILE* file, uint64_t* size) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    int64_t end = _ftelli64(file);
    if (end < 0) return false;
    *size = uint64_t(end);
    return true;
}

bool SyncFile(std::FILE* file) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
}

void SyncFolder(const std::filesystem::path&) {} // the file system orders its own metadata

bool CanWriteInto(const std::filesystem::path& folder) { return _waccess(folder.c_str(), 2) == 0; }

int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return _wrename(from.c_str(), to.c_str());
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SeekFile(std::FILE* file, uint64_t offset) { return fseeko(file, off_t(offset), SEEK_SET) == 0; }

bool FileEnd(std::FILE* file, uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0) return false;
    off_t end = ftello(file);
    if (end < 0) return false;
    *size = uint64_t(end);
    return true;
}

bool SyncFile(std::FILE* file) { return fsync(fileno(file)) == 0; }

void SyncFolder(const std::filesystem::path& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

bool CanWriteInto(const std::filesystem::path& folder) { return access(folder.c_str(), W_OK | X_OK) == 0; }

int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return std::rename(from.c_str(), to.c_str());
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif
