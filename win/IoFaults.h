// Test seam of the file layer. The shipped installer never sets the hooks; test programs set
// them to make the Nth operation fail (disk full, a read error), to stop the process at an
// exact point of a rewrite, or to record what every operation changed on the disk.
#pragma once
#include <cstdint>

enum class IoOp { Copy, Open, Create, Read, Write, Seek, Flush, Delete, Alloc, Rename };

// Returns true to make the operation fail (the caller sees a failed call; GetLastError gives
// ERROR_DISK_FULL for writes and ERROR_READ_FAULT otherwise).
using IoFaultHook = bool (*)(IoOp op);
extern IoFaultHook g_ioFaultHook;

bool IoFaultInjected(IoOp op);

// What a successful operation changed, told after it returned: enough to replay a run's
// effect on the disk (the power-loss campaign builds the states a power cut could leave
// from it). OpenWrite tells which path a handle that is later flushed belongs to.
enum class IoChange { Create, OpenWrite, Write, Flush, Rename, Delete, Copy };

struct IoChangeEvent {
    IoChange kind;
    void* file;            // Create, OpenWrite: the new handle; Write, Flush: the handle
    const wchar_t* path;   // Create, OpenWrite, Delete; Rename and Copy: the source
    const wchar_t* target; // Rename and Copy: the destination
    uint64_t offset;       // Write: where the bytes went
    const void* data;      // Write: the bytes
    uint32_t length;       // Write: how many
    uint32_t flags;        // Rename: the MoveFileExW flags
};

using IoChangeHook = void (*)(const IoChangeEvent& event);
extern IoChangeHook g_ioChangeHook;

void IoChangeMade(const IoChangeEvent& event);
