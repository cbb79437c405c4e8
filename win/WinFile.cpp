#include "win/WinFile.h"

IoFaultHook g_ioFaultHook = nullptr;

bool IoFaultInjected(IoOp op) {
    if (!g_ioFaultHook || !g_ioFaultHook(op)) return false;
    SetLastError(op == IoOp::Write || op == IoOp::Copy ? ERROR_DISK_FULL : ERROR_READ_FAULT);
    return true;
}

namespace {

// A virus scanner or the game's launcher may hold an archive for a moment without sharing
// it; wait a little (0.1 + 0.2 + 0.4 + 0.8 + 1.6 s at most) before calling it a failure.
constexpr int kSharingRetries = 5;

bool IsSharingError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

template <typename Attempt>
bool RetryWhileShared(Attempt attempt) {
    for (int i = 0;; ++i) {
        if (attempt()) return true;
        DWORD error = GetLastError();
        if (!IsSharingError(error) || i == kSharingRetries) return false;
        Sleep(100u << i);
        SetLastError(error);
    }
}

HANDLE OpenHandle(const wchar_t* path, DWORD access, DWORD disposition) {
    HANDLE h = INVALID_HANDLE_VALUE;
    RetryWhileShared([&] {
        h = CreateFileW(path, access, FILE_SHARE_READ, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

} // namespace

bool WinFile::OpenRead(const wchar_t* path) {
    Close();
    if (IoFaultInjected(IoOp::Open)) return false;
    m_handle = OpenHandle(path, FILE_GENERIC_READ, OPEN_EXISTING);
    return IsOpen();
}

bool WinFile::OpenWrite(const wchar_t* path) {
    Close();
    if (IoFaultInjected(IoOp::Open)) return false;
    m_handle = OpenHandle(path, FILE_GENERIC_WRITE, OPEN_EXISTING);
    return IsOpen();
}

bool WinFile::Create(const wchar_t* path) {
    Close();
    if (IoFaultInjected(IoOp::Create)) return false;
    m_handle = OpenHandle(path, FILE_GENERIC_WRITE, CREATE_ALWAYS);
    return IsOpen();
}

bool WinFile::Size(uint64_t* size) const {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(m_handle, &li)) return false;
    *size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

bool SeekHandle(HANDLE file, uint32_t offset) {
    if (IoFaultInjected(IoOp::Seek)) return false;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
}

bool ReadExact(HANDLE file, void* buffer, uint32_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    while (count) {
        if (IoFaultInjected(IoOp::Read)) return false;
        DWORD got = 0;
        if (!ReadFile(file, p, count, &got, nullptr)) return false;
        if (got == 0) {  // end of file before the full count
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        p += got;
        count -= got;
    }
    return true;
}

bool WriteAll(HANDLE file, const void* buffer, uint32_t count) {
    auto* p = static_cast<const unsigned char*>(buffer);
    while (count) {
        if (IoFaultInjected(IoOp::Write)) return false;
        DWORD put = 0;
        if (!WriteFile(file, p, count, &put, nullptr)) return false;
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        p += put;
        count -= put;
    }
    return true;
}

bool WinFile::SeekTo(uint32_t offset) { return SeekHandle(m_handle, offset); }
bool WinFile::ReadExact(void* buffer, uint32_t count) { return ::ReadExact(m_handle, buffer, count); }
bool WinFile::WriteAll(const void* buffer, uint32_t count) { return ::WriteAll(m_handle, buffer, count); }

bool WinFile::Flush() {
    if (IoFaultInjected(IoOp::Flush)) return false;
    return FlushFileBuffers(m_handle) != 0;
}

bool WinFile::Close() {
    if (!IsOpen()) return true;
    BOOL ok = CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    return ok != 0;
}

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

bool FileExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool CopyFileOver(const wchar_t* from, const wchar_t* to) {
    if (IoFaultInjected(IoOp::Copy)) return false;
    return RetryWhileShared([&] { return CopyFileW(from, to, FALSE) != 0; });
}

bool DeleteFileChecked(const wchar_t* path) {
    if (IoFaultInjected(IoOp::Delete)) return false;
    // A scanner that opens the fresh copy right after it was written would otherwise make a
    // finished rewrite leave its full-size copy behind.
    return RetryWhileShared([&] { return DeleteFileW(path) != 0; });
}
