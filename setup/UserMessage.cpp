#include "setup/UserMessage.h"

UserMessageHook g_userMessageHook = nullptr;

void ShowUserMessage(HWND owner, const wchar_t* text, const wchar_t* caption) {
    if (g_userMessageHook) {
        g_userMessageHook(owner, text, caption);
        return;
    }
    MessageBoxW(owner, text, caption, MB_OK);
}

void AppendText(wchar_t* buffer, size_t capacity, const wchar_t* text) {
    size_t used = lstrlenW(buffer);
    while (*text && used + 1 < capacity) buffer[used++] = *text++;
    buffer[used] = 0;
}
