// The few file-system calls the authoring tool makes that differ between Linux and Windows.
// Paths are std::filesystem paths (UTF-16 on Windows, so Chinese folder names and spaces
// reach the system unchanged); failures leave errno set, as the C library's calls do.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);
bool SeekFile(std::FILE* file, uint64_t offset);
// The size of an open file (moves its position to the end); false when it cannot be told.
bool FileEnd(std::FILE* file, uint64_t* size);
// Flushes the file's written bytes to the disk (after fflush).
bool SyncFile(std::FILE* file);
// Makes renames inside the folder durable where the system needs that asked for (Linux).
void SyncFolder(const std::filesystem::path& folder);
bool CanWriteInto(const std::filesystem::path& folder);
// A rename that fails when the target exists on Windows and replaces it on Linux; the
// callers move an existing target aside first. 0 on success, as std::rename.
int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);
bool IsTerminal(std::FILE* stream);
