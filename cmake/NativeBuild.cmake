# Native (Linux) part of the build: the core with its unit tests under sanitizers, the
# build-time tools, and the two Windows builds as sub-builds whose tests join this CTest run.
include(ExternalProject)
enable_testing()

option(SANITIZE "Build the native tests with ASan and UBSan" ON)
set(SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

function(enable_sanitizers target)
    if(SANITIZE)
        target_compile_options(${target} PRIVATE ${SANITIZER_FLAGS})
        target_link_options(${target} PRIVATE ${SANITIZER_FLAGS})
    endif()
endfunction()

# A native test program, built with the core under the sanitizers; its tests are registered
# as <PREFIX>.<Suite>.<Test> (PREFIX: native unless given), with PROPERTIES if given.
function(add_native_gtest target)
    cmake_parse_arguments(N "" "PREFIX" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    if(NOT N_PREFIX)
        set(N_PREFIX native)
    endif()
    add_executable(${target} ${N_SOURCES})
    target_link_libraries(${target} PRIVATE core_checked ${N_LIBS} GTest::gtest_main)
    enable_sanitizers(${target})
    set(properties "")
    if(N_PROPERTIES)
        set(properties PROPERTIES ${N_PROPERTIES})
    endif()
    gtest_discover_tests(${target} TEST_PREFIX ${N_PREFIX}. DISCOVERY_TIMEOUT 60 ${properties})
endfunction()

if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()
add_compile_options(-Wall -Wextra)

# A patch author's build: only the shipped programs of the 32-bit build, carrying PATCH_DIR;
# no tests, fuzzers, benchmarks, x86_64 build or Wine prefix (scripts/build.sh --shipped-only).
option(SHIPPED_ONLY "Build only setup.exe, KSTRLangSet.exe and patchbuild.exe (32-bit), without tests" OFF)
set(PATCH_DIR "" CACHE PATH "Folder with manifest.bin and payload.bin to embed (default: the demo patch)")

# The tools make the demo patch; an author's build with a patch of its own needs none of them.
if(NOT SHIPPED_ONLY OR NOT PATCH_DIR)
    # The core optimised for the tools.
    add_core_library(core)
endif()

if(NOT SHIPPED_ONLY)
    # ... and under the sanitizers for the unit tests (which also build the tools' own
    # sources that way).
    add_core_library(core_checked)
    enable_sanitizers(core_checked)

    include(${REPO_ROOT}/cmake/GoogleTest.cmake)

    # The layers include only downward, and the core sees no Win32 header (tests/layers/).
    find_program(PYTHON3 python3 REQUIRED)
    add_test(NAME layers.includes_run_downward
             COMMAND ${PYTHON3} ${REPO_ROOT}/tests/layers/check_includes.py ${REPO_ROOT})
    add_test(NAME layers.check_catches_violations
             COMMAND ${PYTHON3} ${REPO_ROOT}/tests/layers/check_includes.py --self-test)
    set_tests_properties(layers.includes_run_downward PROPERTIES PASS_REGULAR_EXPRESSION "INCLUDE CHECK PASSED")
    set_tests_properties(layers.check_catches_violations PROPERTIES PASS_REGULAR_EXPRESSION "SELF-TEST PASSED")

    # Helpers shared by the tests (tests/common/): bytes and files, hand-built archives.
    set(TEST_COMMON_SOURCES
        ${REPO_ROOT}/tests/common/TestBytes.cpp
        ${REPO_ROOT}/tests/common/ArchiveFixture.cpp
        ${REPO_ROOT}/tests/common/ArchiveSamples.cpp)
    add_library(test_common STATIC ${TEST_COMMON_SOURCES})
    target_include_directories(test_common PUBLIC ${REPO_ROOT}/tests/common)
    enable_sanitizers(test_common)
    # The same without the sanitizers, for authordata (a data generator linked with the tools' core).
    add_library(test_common_plain STATIC ${TEST_COMMON_SOURCES})
    target_include_directories(test_common_plain PUBLIC ${REPO_ROOT}/tests/common)
endif()

if(TARGET core)
    add_subdirectory(tools)
endif()
if(NOT SHIPPED_ONLY)
    add_subdirectory(tests/native)
    add_subdirectory(bench)
endif()

# ---- The demo patch: generated at build time, embedded unless PATCH_DIR names another. ----
set(DEMO_DIR ${CMAKE_BINARY_DIR}/demo)
add_custom_command(
    OUTPUT ${DEMO_DIR}/patch/manifest.bin ${DEMO_DIR}/patch/payload.bin ${DEMO_DIR}/patch/fingerprints.bin
           ${DEMO_DIR}/patch/progress_total.bin
    COMMAND gamegen --out ${DEMO_DIR} --seed 1 --quiet
    COMMAND patchbuild fingerprint --game ${DEMO_DIR}/game --patch ${DEMO_DIR}/patch --quiet
    DEPENDS gamegen patchbuild
    COMMENT "Generating the demo game folder and patch")
set(win_depends "")
if(TARGET gamegen)
    add_custom_target(demo_patch ALL DEPENDS ${DEMO_DIR}/patch/manifest.bin)
    list(APPEND win_depends demo_patch)
endif()

if(PATCH_DIR)
    set(EMBED_PATCH_DIR ${PATCH_DIR})
else()
    set(EMBED_PATCH_DIR ${DEMO_DIR}/patch)
endif()

# ---- Project-local Wine prefix, one per build tree. ----
set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
if(NOT SHIPPED_ONLY)
    add_custom_command(
        OUTPUT ${WINE_PREFIX}/.project-ready
        COMMAND ${REPO_ROOT}/scripts/wine-prefix.sh ${WINE_PREFIX}
        COMMENT "Preparing the Wine prefix")
    add_custom_target(wine_prefix ALL DEPENDS ${WINE_PREFIX}/.project-ready)
    list(APPEND win_depends gamegen wine_prefix)
endif()

# ---- The Windows builds. win32 is what ships; win64 is the same sources for the GUI tests. ----
set(WIN_BUILDS win32 win64)
if(SHIPPED_ONLY)
    set(WIN_BUILDS win32)
endif()
set(win32_TOOLCHAIN ${REPO_ROOT}/cmake/mingw-i686.cmake)
set(win64_TOOLCHAIN ${REPO_ROOT}/cmake/mingw-x86_64.cmake)
set(win_test_includes "")
foreach(build IN LISTS WIN_BUILDS)
    ExternalProject_Add(${build}
        SOURCE_DIR ${REPO_ROOT}
        BINARY_DIR ${CMAKE_BINARY_DIR}/${build}
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${${build}_TOOLCHAIN}
            -DCMAKE_BUILD_TYPE=Release
            -DWIN_BUILD_NAME=${build}
            -DEMBED_PATCH_DIR=${EMBED_PATCH_DIR}
            -DNATIVE_BIN_DIR=${CMAKE_BINARY_DIR}
            -DDEMO_DIR=${DEMO_DIR}
            -DWINE_PREFIX=${WINE_PREFIX}
            -DWINE_DLLPATH=${REPO_ROOT}/build/wine-cache/dllpath
            -DSHIPPED_ONLY=${SHIPPED_ONLY}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        DEPENDS ${win_depends}
        USES_TERMINAL_BUILD ON)
    string(APPEND win_test_includes "subdirs(\"${CMAKE_BINARY_DIR}/${build}\")\n")
endforeach()

# ---- libFuzzer targets of the portable core (clang, ASan + UBSan): a sub-build whose short
# runs over the committed corpus join this CTest run (fuzz/CMakeLists.txt). ----
find_program(CLANGXX clang++)
option(FUZZ "Build the libFuzzer targets (needs clang and its fuzzer runtime)" ON)
if(FUZZ AND CLANGXX AND NOT SHIPPED_ONLY)
    ExternalProject_Add(fuzz
        SOURCE_DIR ${REPO_ROOT}/fuzz
        BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
        CMAKE_ARGS -DCMAKE_CXX_COMPILER=${CLANGXX} -DREPO_ROOT=${REPO_ROOT}
        BUILD_ALWAYS ON
        INSTALL_COMMAND "")
    string(APPEND win_test_includes "subdirs(\"${CMAKE_BINARY_DIR}/fuzz\")\n")
endif()

if(NOT SHIPPED_ONLY)
    # Wine's helper processes hold each test's output pipe unless a wineserver is already up:
    # one server for the whole run, started and stopped around every Windows test (fixture "wine").
    add_test(NAME wineserver_start COMMAND ${REPO_ROOT}/scripts/wineserver-ctl.sh start ${WINE_PREFIX})
    add_test(NAME wineserver_stop COMMAND ${REPO_ROOT}/scripts/wineserver-ctl.sh stop ${WINE_PREFIX})
    set_tests_properties(wineserver_start PROPERTIES FIXTURES_SETUP wine)
    set_tests_properties(wineserver_stop PROPERTIES FIXTURES_CLEANUP wine)

    # Where 32-bit code is emulated, the mmap fix preloaded into 32-bit Wine gives
    # MAP_FIXED_NOREPLACE the kernel's meaning (tools/wine32-emulation/).
    add_test(NAME emulation.noreplace_mmap COMMAND ${REPO_ROOT}/scripts/wine32-preload.sh --test)
    set_tests_properties(emulation.noreplace_mmap PROPERTIES
        PASS_REGULAR_EXPRESSION "noreplace: [0-9]+ passed, 0 failed" SKIP_RETURN_CODE 77 TIMEOUT 120)

    # The generated 411-archive data set that the Windows patch tests read (fixture "gamedata").
    add_test(NAME gamedata_small COMMAND gamegen --out ${CMAKE_BINARY_DIR}/testdata/small --seed 7 --quiet)
    set_tests_properties(gamedata_small PROPERTIES FIXTURES_SETUP gamedata)

    # Run the Windows builds' tests in this CTest run, counted with the native ones.
    file(WRITE ${CMAKE_BINARY_DIR}/win-tests.cmake "${win_test_includes}")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/win-tests.cmake)

    add_subdirectory(tests/shipped)
    add_subdirectory(tests/demo)
endif()

# The shipped files at the repository root.
add_custom_target(dist ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${REPO_ROOT}/dist
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/win32/setup.exe ${REPO_ROOT}/dist/setup.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/win32/KSTRLangSet.exe ${REPO_ROOT}/dist/KSTRLangSet.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/win32/patchbuild.exe ${REPO_ROOT}/dist/patchbuild.exe
    DEPENDS win32
    COMMENT "Copying the shipped programs to dist/")
