// How the driver asks the shell's folder browser, inside the installer's process, to select
// a folder: the browser takes a path only from its own process's memory, and a message that
// carries memory (WM_COPYDATA) reaches a window-procedure hook under Wine before it is
// unpacked. So the request goes through a file: the driver writes the folder's path to the
// file named by the environment variable below (which the installer inherits), then sends
// the browser the registered message; the browser-select hook (BrowserSelect.cpp) selects
// the folder and replaces the file's text with the tree's selected item. UTF-16, no NUL.
#pragma once

constexpr wchar_t kBrowserSelectMessage[] = L"KstrE2eBrowserSelect";
constexpr wchar_t kBrowserSelectFileVariable[] = L"KSTR_E2E_BROWSER_FILE";
