# Registering the Windows builds' test programs, which CTest runs under Wine (scripts/wine-run.sh
# is the build's CMAKE_CROSSCOMPILING_EMULATOR: it prints "SKIP: this machine cannot execute
# 32-bit ..." and the test is reported skipped where the 32-bit build cannot run).
# How to add one: tests/README.md.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/GoogleTest.cmake)

# wine_test_properties(TESTS test... [PASS_REGEX r] [FAIL_REGEX r...] [SKIP_REGEX r...]
#                      [SKIP_RETURN_CODE n] [ENVIRONMENT VAR=value...] [FIXTURES f...]
#                      [RESOURCE_LOCK lock] [LABELS label...] [TIMEOUT seconds])
# The properties of a test that runs a Windows program: passed only when PASS_REGEX shows
# (default: GoogleTest's "1 test passed"), skipped with the gate's reason, label "wine" and
# LABELS, the fixtures it needs (FIXTURES; "wine" is the shared wineserver), TIMEOUT (120 s).
function(wine_test_properties)
    cmake_parse_arguments(W "" "PASS_REGEX;SKIP_RETURN_CODE;RESOURCE_LOCK;TIMEOUT"
        "TESTS;FAIL_REGEX;SKIP_REGEX;ENVIRONMENT;FIXTURES;LABELS" ${ARGN})
    if(NOT W_TESTS)
        message(FATAL_ERROR "wine_test_properties: no TESTS")
    endif()
    if(NOT DEFINED W_PASS_REGEX)
        set(W_PASS_REGEX "\\[  PASSED  \\] 1 test")
    endif()
    if(NOT W_TIMEOUT)
        set(W_TIMEOUT 120)
    endif()
    # Lists built without empty items: an empty skip pattern would match every output.
    set(skip "SKIP: this machine cannot run 32-bit Windows programs" ${W_SKIP_REGEX})
    set(labels wine ${W_LABELS})
    set_tests_properties(${W_TESTS} PROPERTIES
        PASS_REGULAR_EXPRESSION "${W_PASS_REGEX}"
        SKIP_REGULAR_EXPRESSION "${skip}"
        LABELS "${labels}"
        TIMEOUT ${W_TIMEOUT})
    foreach(property FAIL_REGEX:FAIL_REGULAR_EXPRESSION SKIP_RETURN_CODE:SKIP_RETURN_CODE
                     ENVIRONMENT:ENVIRONMENT FIXTURES:FIXTURES_REQUIRED RESOURCE_LOCK:RESOURCE_LOCK)
        string(REPLACE ":" ";" pair ${property})
        list(GET pair 0 option)
        list(GET pair 1 name)
        if(DEFINED W_${option})
            set_tests_properties(${W_TESTS} PROPERTIES ${name} "${W_${option}}")
        endif()
    endforeach()
endfunction()

# add_wine_gtest(TARGET name SOURCES src... [LIBS lib...] [OWN_MAIN] [PREFIX group]
#                [TEST_SOURCES src...] [ENVIRONMENT VAR=value...] [FIXTURES f...]
#                [SKIP_REGEX r...] [LABELS label...] [TIMEOUT seconds])
# Builds a GoogleTest program (linked with gtest_main unless OWN_MAIN) and registers each of
# its tests as <build>.[<group>.]<Suite>.<Test>, one Wine process per test, with the
# wineserver fixture and the properties above. TEST_SOURCES: where the tests are written, when
# SOURCES also hold other code (default: SOURCES).
function(add_wine_gtest)
    cmake_parse_arguments(G "OWN_MAIN" "TARGET;PREFIX;TIMEOUT"
        "SOURCES;LIBS;TEST_SOURCES;ENVIRONMENT;FIXTURES;SKIP_REGEX;LABELS" ${ARGN})
    if(NOT G_TARGET OR NOT G_SOURCES)
        message(FATAL_ERROR "add_wine_gtest: TARGET and SOURCES are required")
    endif()
    # Every test program: GoogleTest's failures go to stdout only (tests/win/GtestDebugOutput.cpp).
    if(NOT TARGET gtest_debug_output)
        add_library(gtest_debug_output OBJECT ${REPO_ROOT}/tests/win/GtestDebugOutput.cpp)
    endif()
    add_executable(${G_TARGET} ${G_SOURCES} $<TARGET_OBJECTS:gtest_debug_output>)
    target_include_directories(${G_TARGET} PRIVATE ${REPO_ROOT})
    if(G_OWN_MAIN)
        target_link_libraries(${G_TARGET} PRIVATE ${G_LIBS} gtest)
        target_link_options(${G_TARGET} PRIVATE -municode)
    else()
        target_link_libraries(${G_TARGET} PRIVATE ${G_LIBS} gtest_main)
    endif()
    if(NOT G_TEST_SOURCES)
        set(G_TEST_SOURCES ${G_SOURCES})
        list(FILTER G_TEST_SOURCES INCLUDE REGEX "\\.cpp$")
    endif()
    set(prefix ${WIN_BUILD_NAME}.)
    if(G_PREFIX)
        string(APPEND prefix ${G_PREFIX}.)
    endif()
    gtest_add_tests(TARGET ${G_TARGET} SOURCES ${G_TEST_SOURCES} TEST_PREFIX ${prefix} TEST_LIST tests)
    wine_test_properties(TESTS ${tests} FIXTURES wine ${G_FIXTURES} ENVIRONMENT ${G_ENVIRONMENT}
        SKIP_REGEX ${G_SKIP_REGEX} LABELS ${G_LABELS} TIMEOUT ${G_TIMEOUT})
endfunction()

# A folder of the native build as Wine sees it (Wine maps Z: to the root), for a test's
# environment: wine_path(OUT_VAR /native/path).
function(wine_path out path)
    string(REPLACE "/" "\\" win "Z:${path}")
    set(${out} ${win} PARENT_SCOPE)
endfunction()
