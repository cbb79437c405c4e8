#include "win/WinFile.h"

#include "win/SharingRetry.h"

namespace {

void TellOpened(IoChange kind, HANDLE file, const wchar_t* path) {
    if (g_ioChangeHook && file != INVALID_HANDLE_VALUE)
        IoChangeMade({kind, file, path, nullptr, 0, nullptr, 0, 0});
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
    TellOpened(IoChange::OpenWrite, m_handle, path);
    return IsOpen();
}

bool WinFile::Create(const wchar_t* path) {
    Close();
    if (IoFaultInjected(IoOp::Create)) return false;
    m_handle = OpenHandle(path, FILE_GENERIC_WRITE, CREATE_ALWAYS);
    TellOpened(IoChange::Create, m_handle, path);
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
        LARGE_INTEGER at{};
        if (g_ioChangeHook) {
            LARGE_INTEGER none{};
            SetFilePointerEx(file, none, &at, FILE_CURRENT);
        }
        DWORD put = 0;
        if (!WriteFile(file, p, count, &put, nullptr)) return false;
        if (g_ioChangeHook && put)
            IoChangeMade({IoChange::Write, file, nullptr, nullptr, static_cast<uint64_t>(at.QuadPart), p, put, 0});
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
    if (!FlushFileBuffers(m_handle)) return false;
    if (g_ioChangeHook) IoChangeMade({IoChange::Flush, m_handle, nullptr, nullptr, 0, nullptr, 0, 0});
    return true;
}

bool WinFile::Close() {
    if (!IsOpen()) return true;
    BOOL ok = CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    return ok != 0;
}
