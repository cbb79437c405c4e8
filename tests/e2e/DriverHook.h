// The two jobs of the driver's hook inside the installer's process, each on every message a
// window procedure of the process is called with.
#pragma once
#include <windows.h>

// trace=FILE: the progress dialog's folder, current-file and position updates (ProgressTrace.cpp).
void TraceProgressUpdate(const CWPSTRUCT& call);
// The folder browser's selection on the driver's request (BrowserSelect.cpp).
void AnswerBrowserRequest(const CWPSTRUCT& call);
