// Entry of the reliability test program: GoogleTest, or the file-holding helper process that
// the sharing tests start ("--hold PATH SHARE MS EVENT").
#include <gtest/gtest.h>

#include "ReliabilitySupport.h"

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--hold") return HoldFileMain(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
