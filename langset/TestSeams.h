// Test seams of the switcher's file step. The shipped program never sets them; test
// programs make the Nth read, seek, write or flush fail and record the messages instead of
// showing them.
#pragma once

enum class ExeIoOp { Read, Seek, Write, Flush };
using ExeIoFaultHook = bool (*)(ExeIoOp op);  // true: the operation fails
extern ExeIoFaultHook g_exeIoFaultHook;

using ExeMessageHook = void (*)(const wchar_t* text, const wchar_t* caption);
extern ExeMessageHook g_exeMessageHook;
