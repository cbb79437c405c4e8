// Operations on files by path, through the I/O test seam (win/IoFaults.h), retried briefly
// while another program holds the file without sharing it.
#pragma once
#include <windows.h>

bool FileExists(const wchar_t* path);
// Nothing of that name (file or folder) is there: not merely one that cannot be looked at.
bool FileIsAbsent(const wchar_t* path);
// CopyFileW (overwriting), retried while the source is held without sharing.
bool CopyFileOver(const wchar_t* from, const wchar_t* to);
// DeleteFileW, retried likewise.
bool DeleteFileChecked(const wchar_t* path);
// MoveFileExW over an existing file of the new name, returning only once the rename is on
// the disk (MOVEFILE_WRITE_THROUGH); retried like the others.
bool RenameFileDurably(const wchar_t* from, const wchar_t* to);
