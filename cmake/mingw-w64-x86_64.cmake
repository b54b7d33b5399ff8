# 64-bit Windows: the libraries for 64-bit programs, and the Windows tests on every host.
set(PLACAIO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
