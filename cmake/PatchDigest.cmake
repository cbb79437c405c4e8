# Writes the digest of the patch the installer embeds: one line per embedded patch file, in
# the installer's order, "<SHA-256 in lowercase hex>  <file name>" (the form sha256sum reads,
# so `sha256sum -c` checks a patch folder against it). The installer verifies every embedded
# file against it before it writes anything (core/PatchDigest.h, payload/PatchIntegrity.h).
#   cmake -DPATCH_DIR=DIR -DOUT=FILE -P PatchDigest.cmake
# The parts come from core/PatchParts.h: a required one must exist, an optional one is listed
# when the folder has it.
include(${CMAKE_CURRENT_LIST_DIR}/PatchParts.cmake)
set(lines "")
foreach(i RANGE ${PATCH_PART_LAST})
    set(name ${PATCH_PART_${i}_FILE})
    if(EXISTS "${PATCH_DIR}/${name}")
        file(SHA256 "${PATCH_DIR}/${name}" hash)
        string(APPEND lines "${hash}  ${name}\n")
    elseif(NOT PATCH_PART_${i}_OPTIONAL)
        message(FATAL_ERROR "${PATCH_DIR}/${name} is missing")
    endif()
endforeach()
# Rewritten only when it changes, so an unchanged patch does not relink the installer.
file(WRITE "${OUT}.new" "${lines}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
