// The message that ends an installation: success only when everything was written.
#pragma once
#include "setup/PatchRun.h"

struct InstallOutcome {
    bool companionWritten; // KSTRLangSet.exe is in the game folder
    PatchRunResult run;
};

void ShowClosingMessage(const InstallOutcome& outcome);
