# 64-bit Windows build of the same sources (Debian: g++-mingw-w64-x86-64-posix),
# for running the tests under 64-bit Wine on a machine whose kernel cannot run
# 32-bit programs, where the 32-bit Wine loader cannot start.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
