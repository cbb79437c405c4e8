// The test harness itself: a failing test ends with GoogleTest's summary and exit code 1, as
// CTest needs to report it, not as a crash of the test program (GtestDebugOutput.cpp). The
// test fails only when KSTR_FAIL_ON_PURPOSE is set (CMakeLists.txt runs it both ways).
#include <gtest/gtest.h>

#include <cstdlib>

TEST(Harness, FailsOnlyOnPurpose) {
    if (std::getenv("KSTR_FAIL_ON_PURPOSE")) ADD_FAILURE() << "failing on purpose";
}
