#include "langset/PatchGameExe.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>

#include "core/AnchorSearch.h"
#include "langset/SwitcherTexts.h"
#include "langset/TestSeams.h"
#include "langset/resource.h"

ExeIoFaultHook g_exeIoFaultHook = nullptr;
ExeMessageHook g_exeMessageHook = nullptr;

namespace {

bool Faulted(ExeIoOp op) { return g_exeIoFaultHook && g_exeIoFaultHook(op); }

// The scan reads into one static block: no allocation that could fail.
unsigned char g_scanBuffer[kScanBufferSize];

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    void Close() {
        if (IsOpen()) CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

void ShowMessage(const wchar_t* text, const wchar_t* caption) {
    if (g_exeMessageHook) {
        g_exeMessageHook(text, caption);
        return;
    }
    MessageBoxW(nullptr, text, caption, MB_OK);
}

void ShowFileError(const wchar_t* text, const wchar_t* fileName) {
    wchar_t message[400];
    lstrcpynW(message, text, 400);
    const int used = lstrlenW(message);
    lstrcpynW(message + used, fileName, 400 - used);
    ShowMessage(message, texts::kErrorCaption);
}

bool SeekTo(HANDLE file, uint32_t offset) {
    if (Faulted(ExeIoOp::Seek)) return false;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
}

bool ReadAll(HANDLE file, unsigned char* buffer, uint32_t count) {
    while (count > 0) {
        if (Faulted(ExeIoOp::Read)) return false;
        DWORD got = 0;
        if (!ReadFile(file, buffer, count, &got, nullptr) || got == 0) return false;
        buffer += got;
        count -= got;
    }
    return true;
}

bool Flush(HANDLE file) { return !Faulted(ExeIoOp::Flush) && FlushFileBuffers(file); }

bool WriteAll(HANDLE file, const unsigned char* bytes, uint32_t count) {
    if (Faulted(ExeIoOp::Write)) return false;
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

struct ScanContext {
    HANDLE file;
    HWND dlg;
};

bool ReadBlock(void* context, unsigned char* buffer, uint32_t count) {
    return ReadAll(static_cast<ScanContext*>(context)->file, buffer, count);
}

void ShowScanProgress(void* context, int position) {
    SendDlgItemMessageW(static_cast<ScanContext*>(context)->dlg, IDC_SCAN_PROGRESS, PBM_SETPOS,
                        static_cast<WPARAM>(position), 0);
}

// NotRead: the bytes to replace could not be read; Failed: the file holds what it held before;
// Damaged: a failed write could not be undone.
enum class WriteOutcome { Written, NotRead, Failed, Damaged };

// Writes the code at `offset` in one write. The six bytes it replaces are read first, so
// that after a failed write the file can be brought back to them (where the write left it
// unchanged, nothing needs to be undone).
WriteOutcome WriteCode(HANDLE file, uint32_t offset, const unsigned char* code) {
    unsigned char original[kLanguageCodeSize];
    if (!SeekTo(file, offset) || !ReadAll(file, original, kLanguageCodeSize)) return WriteOutcome::NotRead;
    if (!SeekTo(file, offset)) return WriteOutcome::Failed;
    if (WriteAll(file, code, kLanguageCodeSize) && Flush(file)) return WriteOutcome::Written;

    unsigned char now[kLanguageCodeSize];
    if (SeekTo(file, offset) && ReadAll(file, now, kLanguageCodeSize) &&
        std::memcmp(now, original, kLanguageCodeSize) == 0)
        return WriteOutcome::Failed;
    if (SeekTo(file, offset) && WriteAll(file, original, kLanguageCodeSize) && Flush(file))
        return WriteOutcome::Failed;
    return WriteOutcome::Damaged;
}

} // namespace

void PatchGameExe(HWND dlg, const wchar_t* fileName, const unsigned char* code) {
    FileHandle file(CreateFileW(fileName, FILE_GENERIC_READ | FILE_GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        ShowMessage(fileName, texts::kCannotOpenCaption);
        return;
    }

    const DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        file.Close();
        ShowFileError(texts::kReadFailed, fileName);
        return;
    }

    ScanContext context{file.Get(), dlg};
    uint32_t anchorPos = 0;
    const AnchorScanResult scan = FindAnchor(size, g_scanBuffer, kScanBufferSize,
                                             AnchorScanIo{ReadBlock, ShowScanProgress, &context}, &anchorPos);
    if (scan == AnchorScanResult::ReadFailed) {
        file.Close();
        ShowFileError(texts::kReadFailed, fileName);
        return;
    }
    // An anchor whose code would run past the end of the file is not the game's.
    if (scan == AnchorScanResult::NotFound || !LanguageCodeFits(anchorPos, size)) {
        file.Close();
        ShowMessage(texts::kNotRecognised, texts::kNoticeCaption);
        return;
    }

    // The write is flushed before the file is closed, so success means the bytes are on disk.
    const WriteOutcome outcome = WriteCode(file.Get(), anchorPos + kLanguageCodeOffset, code);
    file.Close();
    if (outcome == WriteOutcome::NotRead) {
        ShowFileError(texts::kReadFailed, fileName);
    } else if (outcome == WriteOutcome::Damaged) {
        ShowFileError(texts::kWriteLost, fileName);
    } else if (outcome == WriteOutcome::Failed) {
        ShowFileError(texts::kWriteFailed, fileName);
    } else {
        ShowMessage(fileName, texts::kDoneCaption);
    }
}
