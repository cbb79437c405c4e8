// Every message the installer shows goes through here: a modal box with an OK button and no
// icon. Test programs install a hook that records the message instead of showing it.
#pragma once
#include <windows.h>

#include "win/Text.h"

using UserMessageHook = void (*)(HWND owner, const wchar_t* text, const wchar_t* caption);
extern UserMessageHook g_userMessageHook;

void ShowUserMessage(HWND owner, const wchar_t* text, const wchar_t* caption);

