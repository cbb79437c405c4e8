#include "win/UserMessage.h"

UserMessageHook g_userMessageHook = nullptr;

void ShowUserMessage(HWND owner, const wchar_t* text, const wchar_t* caption) {
    if (g_userMessageHook) {
        g_userMessageHook(owner, text, caption);
        return;
    }
    MessageBoxW(owner, text, caption, MB_OK);
}
