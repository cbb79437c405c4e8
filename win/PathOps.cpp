#include "win/PathOps.h"

#include "win/IoFaults.h"
#include "win/SharingRetry.h"

bool FileExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileIsAbsent(const wchar_t* path) {
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool CopyFileOver(const wchar_t* from, const wchar_t* to) {
    if (IoFaultInjected(IoOp::Copy)) return false;
    if (!RetryWhileShared([&] { return CopyFileW(from, to, FALSE) != 0; })) return false;
    if (g_ioChangeHook) IoChangeMade({IoChange::Copy, nullptr, from, to, 0, nullptr, 0, 0});
    return true;
}

bool RenameFileDurably(const wchar_t* from, const wchar_t* to) {
    if (IoFaultInjected(IoOp::Rename)) return false;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!RetryWhileShared([&] { return MoveFileExW(from, to, flags) != 0; })) return false;
    if (g_ioChangeHook) IoChangeMade({IoChange::Rename, nullptr, from, to, 0, nullptr, 0, flags});
    return true;
}

bool DeleteFileChecked(const wchar_t* path) {
    if (IoFaultInjected(IoOp::Delete)) return false;
    // A scanner that opens the fresh copy right after it was written would otherwise make a
    // finished rewrite leave its full-size copy behind.
    if (!RetryWhileShared([&] { return DeleteFileW(path) != 0; })) return false;
    if (g_ioChangeHook) IoChangeMade({IoChange::Delete, nullptr, path, nullptr, 0, nullptr, 0, 0});
    return true;
}
