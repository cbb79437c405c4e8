# GoogleTest for the test programs of whichever build includes this (native or Windows),
# from Debian's source package, added once per build.
include_guard(GLOBAL)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
