// The installer's progress total (payload/ProgressTotal.h), loaded from its raw-data resource
// beside the manifest. A build whose patch carries none measures the run against the
// full-size patch's 18,077,230 units, as before.
#pragma once
#include <cstdint>

// What the run divides its running total by; kProgressExpectedUnits until a total is loaded.
extern uint32_t g_progressTotalUnits;

// Sets g_progressTotalUnits from the resource. 0 (and the fixed total) when the resource is
// missing or not a stored total.
int LoadProgressTotal(int id);
