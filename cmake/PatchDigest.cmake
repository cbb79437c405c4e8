# Writes the digest of the patch the installer embeds: one line per embedded patch file, in
# the installer's order, "<SHA-256 in lowercase hex>  <file name>" (the form sha256sum reads,
# so `sha256sum -c` checks a patch folder against it). The installer verifies every embedded
# file against it before it writes anything (payload/PatchDigest.h).
#   cmake -DPATCH_DIR=DIR -DOUT=FILE -P PatchDigest.cmake
# manifest.bin and payload.bin must exist; fingerprints.bin and progress_total.bin are
# listed when the folder has them.
set(lines "")
foreach(name manifest.bin payload.bin fingerprints.bin progress_total.bin)
    if(EXISTS "${PATCH_DIR}/${name}")
        file(SHA256 "${PATCH_DIR}/${name}" hash)
        string(APPEND lines "${hash}  ${name}\n")
    elseif(name STREQUAL "manifest.bin" OR name STREQUAL "payload.bin")
        message(FATAL_ERROR "${PATCH_DIR}/${name} is missing")
    endif()
endforeach()
# Rewritten only when it changes, so an unchanged patch does not relink the installer.
file(WRITE "${OUT}.new" "${lines}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
