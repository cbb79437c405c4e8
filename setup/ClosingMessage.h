// The message that ends an installation: success only when the companion was written and
// every archive is in its patched state (rewritten now, or found so and left as it was).
#pragma once
#include "setup/PatchRun.h"

struct InstallOutcome {
    bool companionWritten; // KSTRLangSet.exe is in the game folder
    PatchRunResult run;
};

void ShowClosingMessage(const InstallOutcome& outcome);
