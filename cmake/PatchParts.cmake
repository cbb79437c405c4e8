# The parts of a patch as core/PatchParts.h tables them, read from that header so that the
# build never types a file name or resource id a second time. Usable from a project and from
# a script (cmake -P). Sets:
#   PATCH_PART_COUNT                  number of parts
#   PATCH_PART_<i>_FILE / _ID / _OPTIONAL   for i in 0 .. PATCH_PART_COUNT-1, in PatchPart order
#   PATCH_PART_LAST                   PATCH_PART_COUNT-1, for foreach(i RANGE ...)
#   PATCH_PART_INDEX_<enumerator>     the index of a part by its PatchPart name (kPartPayload)
#   PATCH_DIGEST_ID, PATCH_DIGEST_FILE      the digest of the embedded parts
include_guard(GLOBAL)
set(PATCH_PARTS_HEADER ${CMAKE_CURRENT_LIST_DIR}/../core/PatchParts.h)
file(READ ${PATCH_PARTS_HEADER} _patch_parts_text)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PATCH_PARTS_HEADER})

# The rows of kPatchParts: {"name", id, true|false},
string(REGEX MATCH "kPatchParts\\[kPatchPartCount\\] = {([^;]*)};" _patch_parts_table "${_patch_parts_text}")
string(REGEX MATCHALL "{\"[^\"]+\", [0-9]+, (true|false)}" _patch_parts_rows "${CMAKE_MATCH_1}")
string(REGEX MATCH "enum PatchPart {([^}]*)}" _patch_parts_enum "${_patch_parts_text}")
string(REGEX MATCHALL "kPart[A-Za-z]+" _patch_parts_names "${CMAKE_MATCH_1}")
list(LENGTH _patch_parts_rows PATCH_PART_COUNT)
list(LENGTH _patch_parts_names _patch_parts_enum_count)
if(PATCH_PART_COUNT EQUAL 0 OR NOT PATCH_PART_COUNT EQUAL _patch_parts_enum_count)
    message(FATAL_ERROR "${PATCH_PARTS_HEADER}: expected one row of kPatchParts per PatchPart "
        "(found ${PATCH_PART_COUNT} rows and ${_patch_parts_enum_count} parts); cmake/PatchParts.cmake reads that table")
endif()
set(_i 0)
foreach(_row IN LISTS _patch_parts_rows)
    string(REGEX MATCH "{\"([^\"]+)\", ([0-9]+), (true|false)}" _ "${_row}")
    set(PATCH_PART_${_i}_FILE ${CMAKE_MATCH_1})
    set(PATCH_PART_${_i}_ID ${CMAKE_MATCH_2})
    set(PATCH_PART_${_i}_OPTIONAL OFF)
    if(CMAKE_MATCH_3 STREQUAL "true")
        set(PATCH_PART_${_i}_OPTIONAL ON)
    endif()
    list(GET _patch_parts_names ${_i} _name)
    set(PATCH_PART_INDEX_${_name} ${_i})
    math(EXPR _i "${_i} + 1")
endforeach()

string(REGEX MATCH "kPatchDigestResourceId = ([0-9]+);" _ "${_patch_parts_text}")
set(PATCH_DIGEST_ID ${CMAKE_MATCH_1})
string(REGEX MATCH "kPatchDigestFileName = \"([^\"]+)\";" _ "${_patch_parts_text}")
set(PATCH_DIGEST_FILE ${CMAKE_MATCH_1})
if(NOT PATCH_DIGEST_ID OR NOT PATCH_DIGEST_FILE)
    message(FATAL_ERROR "${PATCH_PARTS_HEADER}: kPatchDigestResourceId or kPatchDigestFileName not found")
endif()
math(EXPR PATCH_PART_LAST "${PATCH_PART_COUNT} - 1")
