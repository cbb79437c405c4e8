# The portable core (core/): archive format and rewrite plan, manifest and fingerprint
# formats with their writers, whether an archive already holds its rewrite, the patch loader, the patch's progress total and digest,
# progress and folder rules, anchor search.
# No <windows.h>; each build (native, the two Windows builds, the fuzzers) makes it once as a
# static library that its programs and tests link.
set(CORE_SOURCES
    ${REPO_ROOT}/core/AnchorSearch.cpp
    ${REPO_ROOT}/core/ArchiveFormat.cpp
    ${REPO_ROOT}/core/FingerprintWriter.cpp
    ${REPO_ROOT}/core/Fingerprints.cpp
    ${REPO_ROOT}/core/LoadedPatch.cpp
    ${REPO_ROOT}/core/ManifestWriter.cpp
    ${REPO_ROOT}/core/PatchDigest.cpp
    ${REPO_ROOT}/core/PatchedState.cpp
    ${REPO_ROOT}/core/PatchManifest.cpp
    ${REPO_ROOT}/core/ProgressTotal.cpp
)

function(add_core_library name)
    add_library(${name} STATIC ${CORE_SOURCES})
    target_include_directories(${name} PUBLIC ${REPO_ROOT})
endfunction()
