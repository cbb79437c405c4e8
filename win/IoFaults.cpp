#include "win/IoFaults.h"

#include <windows.h>

IoFaultHook g_ioFaultHook = nullptr;
IoChangeHook g_ioChangeHook = nullptr;

bool IoFaultInjected(IoOp op) {
    if (!g_ioFaultHook || !g_ioFaultHook(op)) return false;
    SetLastError(op == IoOp::Write || op == IoOp::Copy ? ERROR_DISK_FULL : ERROR_READ_FAULT);
    return true;
}

void IoChangeMade(const IoChangeEvent& event) {
    if (g_ioChangeHook) g_ioChangeHook(event);
}
