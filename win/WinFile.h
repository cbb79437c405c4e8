// Thin Win32 file wrappers: the handle closes in the destructor, every read and write is
// checked for its full byte count, results are bools.
#pragma once
#include <windows.h>

#include <cstdint>

#include "win/IoFaults.h"

class WinFile {
public:
    WinFile() = default;
    ~WinFile() { Close(); }
    WinFile(const WinFile&) = delete;
    WinFile& operator=(const WinFile&) = delete;

    // Opens an existing file: FILE_GENERIC_READ, share read. Retries briefly while another
    // program holds the file without sharing.
    bool OpenRead(const wchar_t* path);
    // Opens an existing file for writing (used to flush a finished copy to the disk).
    bool OpenWrite(const wchar_t* path);
    // Creates or truncates: FILE_GENERIC_WRITE, share read, CREATE_ALWAYS. Retries likewise.
    bool Create(const wchar_t* path);

    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_handle; }

    bool Size(uint64_t* size) const;
    bool SeekTo(uint32_t offset);
    bool ReadExact(void* buffer, uint32_t count);
    bool WriteAll(const void* buffer, uint32_t count);
    bool Flush();
    // Closes the handle; false if the close itself failed (a delayed write error).
    bool Close();

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Checked operations on a raw handle (the streaming routines take handles).
bool SeekHandle(HANDLE file, uint32_t offset);
bool ReadExact(HANDLE file, void* buffer, uint32_t count);
bool WriteAll(HANDLE file, const void* buffer, uint32_t count);
