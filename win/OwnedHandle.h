// A kernel handle closed in the destructor, for the handles that are no file this layer reads
// or writes (a thread, a probe of whether a file opens). Files go through WinFile.
#pragma once
#include <windows.h>

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
    ~OwnedHandle() {
        if (IsValid()) CloseHandle(m_handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    // CreateFileW fails with INVALID_HANDLE_VALUE, CreateThread with null.
    bool IsValid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};
