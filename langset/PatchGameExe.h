// Rewrites the language code of one game executable in the current directory.
#pragma once
#include <windows.h>

// Finds the first anchor in `fileName` and writes the six bytes of `code` at anchor + 18,
// showing the scan on the dialog's progress bar. The user sees exactly one message: the
// file name under "成功设置" once the code is written, "无法打开" when the file does not
// open, "注意" when the anchor is not there (or has no room for the code behind it), or an
// error when a read or the write fails; the file is then left as it was.
void PatchGameExe(HWND dlg, const wchar_t* fileName, const unsigned char* code);
