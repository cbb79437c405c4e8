// Tells the user what became of an archive that was not patched.
#pragma once
#include "archive/PatchArchive.h"

// Shows the outcome's message box (none for an archive in its patched state). True when
// the archive is in its patched state: patched now, or found so and left as it was.
bool ReportArchiveOutcome(const ArchiveOutcome& outcome);
