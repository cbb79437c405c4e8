// Retrying a file call while another program holds the file without sharing it (win/ only).
#pragma once
#include <windows.h>

// A virus scanner or the game's launcher may hold an archive for a moment without sharing
// it; wait a little (0.1 + 0.2 + 0.4 + 0.8 + 1.6 s at most) before calling it a failure.
constexpr int kSharingRetries = 5;

inline bool IsSharingError(DWORD error) {
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
