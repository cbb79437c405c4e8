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
# resources; the installer's patching run (setup/CMakeLists.txt adds its windows on top).
add_core_library(core)

add_library(winhelpers STATIC
    ${REPO_ROOT}/win/WinFile.cpp
    ${REPO_ROOT}/win/Text.cpp
    ${REPO_ROOT}/win/UserMessage.cpp
    ${REPO_ROOT}/win/WorkArea.cpp
)
target_link_libraries(winhelpers PUBLIC core)

add_library(archive STATIC
    ${REPO_ROOT}/archive/ArchiveFile.cpp
    ${REPO_ROOT}/archive/Streaming.cpp
    ${REPO_ROOT}/archive/PatchArchive.cpp
    ${REPO_ROOT}/archive/FingerprintCheck.cpp
)
target_link_libraries(archive PUBLIC winhelpers)

# The embedded patch, checked against its digest with the system's SHA-256 (BCrypt).
add_library(payload STATIC
    ${REPO_ROOT}/payload/Resources.cpp
    ${REPO_ROOT}/payload/Sha256.cpp
    ${REPO_ROOT}/payload/PatchIntegrity.cpp
)
target_link_libraries(payload PUBLIC winhelpers bcrypt)

add_library(patch_run STATIC
    ${REPO_ROOT}/setup/Globals.cpp
    ${REPO_ROOT}/setup/ArchiveReport.cpp
    ${REPO_ROOT}/setup/PatchRun.cpp
)
target_link_libraries(patch_run PUBLIC archive payload)

if(EXISTS ${REPO_ROOT}/langset/CMakeLists.txt)
    add_subdirectory(langset)
endif()
add_subdirectory(setup)
if(NOT SHIPPED_ONLY)
    add_subdirectory(tests/win)
    add_subdirectory(tests/reliability)
    add_subdirectory(bench)
endif()

