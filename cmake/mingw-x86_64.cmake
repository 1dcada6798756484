# 64-bit Windows build of the same sources, for running the test suite under wine64 on
# hosts whose kernel cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUELT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
