// Test seam of the file layer. The shipped installer never sets the hook; test programs set
// it to make the Nth operation fail (disk full, a read error) or to stop the process at an
// exact point of a rewrite.
#pragma once

enum class IoOp { Copy, Open, Create, Read, Write, Seek, Flush, Delete, Alloc };

// Returns true to make the operation fail (the caller sees a failed call; GetLastError gives
// ERROR_DISK_FULL for writes and ERROR_READ_FAULT otherwise).
using IoFaultHook = bool (*)(IoOp op);
extern IoFaultHook g_ioFaultHook;

bool IoFaultInjected(IoOp op);
