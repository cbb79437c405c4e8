# Windows part of the build (cross-compiled with mingw-w64): the installer, the switcher
# and the Win32 test programs, which CTest runs under Wine.
enable_language(RC)
enable_testing()
add_compile_options(-Wall -Wextra)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

set(WINE_RUN ${REPO_ROOT}/scripts/wine-run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN} ${WINE_PREFIX} ${WINE_DLLPATH})

# One layer on another, each including only downward: the portable core; small RAII Win32
# helpers (files, heap buffers, texts, message boxes); the archive rewrite and the embedded
# resources (setup/CMakeLists.txt adds the installer's patching run and its windows on top).
add_core_library(core)

# A layer's library: its sources (relative to the repository) and the layers below it.
function(add_layer_library name)
    cmake_parse_arguments(L "" "" "SOURCES;BELOW" ${ARGN})
    list(TRANSFORM L_SOURCES PREPEND ${REPO_ROOT}/)
    add_library(${name} STATIC ${L_SOURCES})
    target_link_libraries(${name} PUBLIC ${L_BELOW})
endfunction()

add_layer_library(winhelpers BELOW core SOURCES
    win/IoFaults.cpp win/WinFile.cpp win/HeapBuffer.cpp win/PathOps.cpp win/Text.cpp win/UserMessage.cpp
    win/WorkArea.cpp)
add_layer_library(archive BELOW winhelpers SOURCES
    archive/ArchiveFile.cpp archive/Streaming.cpp archive/AlreadyPatched.cpp archive/PatchArchive.cpp
    archive/FingerprintCheck.cpp)
# The embedded patch, checked against its digest with the system's SHA-256 (BCrypt); and a
# finished installer written from a built one (for patchbuild.exe).
add_layer_library(payload BELOW winhelpers bcrypt SOURCES
    payload/Resources.cpp payload/Sha256.cpp payload/PatchIntegrity.cpp payload/InstallerImage.cpp)

# The patch's parts (file names, resource ids) as core/PatchParts.h tables them.
include(${REPO_ROOT}/cmake/PatchParts.cmake)
add_subdirectory(langset)
# patchbuild.exe, the patch author's tool (tools/patchbuild/CMakeLists.txt).
add_subdirectory(${REPO_ROOT}/tools/patchbuild ${CMAKE_BINARY_DIR}/tools/patchbuild)
add_subdirectory(setup)
if(NOT SHIPPED_ONLY)
    # Every Windows test is registered under tests/ (cmake/WineTests.cmake, tests/README.md).
    include(${REPO_ROOT}/cmake/WineTests.cmake)
    add_subdirectory(tests/win)
    add_subdirectory(tests/reliability)
    add_subdirectory(tests/e2e)
    add_subdirectory(bench)
endif()
