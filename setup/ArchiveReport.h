// Tells the user what became of an archive that was not patched.
#pragma once
#include "archive/PatchArchive.h"

// Shows the outcome's message box (none for a patched archive). True when it was patched.
bool ReportArchiveOutcome(const ArchiveOutcome& outcome);
