# 64-bit Windows: a test vehicle for the Windows code under 64-bit Wine, which runs on
# kernels that run no 32-bit programs. Never packaged: the player's hosts are 32-bit.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESSEL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
