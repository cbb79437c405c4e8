// Every message the installer shows goes through here: a modal box with an OK button and no
// icon. Test programs install a hook that records the message instead of showing it.
#pragma once
#include <windows.h>

using UserMessageHook = void (*)(HWND owner, const wchar_t* text, const wchar_t* caption);
extern UserMessageHook g_userMessageHook;

void ShowUserMessage(HWND owner, const wchar_t* text, const wchar_t* caption);

// Bounded composition of message texts into fixed buffers (always NUL-terminated).
void AppendText(wchar_t* buffer, size_t capacity, const wchar_t* text);
