# The same sources built for x86_64: Wine draws and runs the folder browser only for 64-bit
# programs here, so the GUI tests and screenshots use this build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
