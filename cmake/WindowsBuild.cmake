# Windows part of the build (cross-compiled with mingw-w64): the installer, the switcher
# and the Win32 test programs, which CTest runs under Wine.
enable_language(RC)
enable_testing()
add_compile_options(-Wall -Wextra)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# The DLLs the tests load into the installer (the progress trace hook) link the runtime
# statically like the programs (a 32-bit one would otherwise need libgcc_s_dw2-1.dll), and
# export their functions under plain names (a 32-bit stdcall one would export "Name@12").
string(APPEND CMAKE_SHARED_LINKER_FLAGS " -static -static-libgcc -static-libstdc++ -Wl,--kill-at")

set(WINE_RUN ${REPO_ROOT}/scripts/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN} ${WINE_PREFIX} ${WINE_DLLPATH})

add_library(kcore STATIC ${CORE_SOURCES})
target_include_directories(kcore PUBLIC ${REPO_ROOT})

# Win32 shell around the core: files, resources, the patcher and the patching run.
add_library(kwin STATIC
    ${REPO_ROOT}/archive/WinFile.cpp
    ${REPO_ROOT}/archive/ArchiveFile.cpp
    ${REPO_ROOT}/archive/Streaming.cpp
    ${REPO_ROOT}/archive/PatchArchive.cpp
    ${REPO_ROOT}/payload/Resources.cpp
    ${REPO_ROOT}/setup/Globals.cpp
    ${REPO_ROOT}/setup/UserMessage.cpp
    ${REPO_ROOT}/setup/ArchiveReport.cpp
    ${REPO_ROOT}/setup/PatchRun.cpp
    ${REPO_ROOT}/archive/FingerprintCheck.cpp
    ${REPO_ROOT}/payload/Sha256.cpp
    ${REPO_ROOT}/payload/PatchIntegrity.cpp
)
target_link_libraries(kwin PUBLIC kcore bcrypt)

if(EXISTS ${REPO_ROOT}/langset/CMakeLists.txt)
    add_subdirectory(langset)
endif()
add_subdirectory(setup)
if(NOT SHIPPED_ONLY)
    add_subdirectory(tests/win)
    add_subdirectory(tests/reliability)
    add_subdirectory(bench)
endif()

