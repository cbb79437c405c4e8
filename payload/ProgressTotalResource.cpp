#include "payload/ProgressTotalResource.h"

#include "payload/ProgressTotal.h"
#include "payload/Resources.h"
#include "setup/ProgressMath.h"

uint32_t g_progressTotalUnits = kProgressExpectedUnits;

int LoadProgressTotal(int id) {
    g_progressTotalUnits = kProgressExpectedUnits;
    uint32_t size = 0;
    const unsigned char* data = GetPayloadData(id, &size);
    uint32_t units = 0;
    if (!data || !ParseProgressTotal(data, size, &units)) return 0;
    g_progressTotalUnits = units;
    return 1;
}
