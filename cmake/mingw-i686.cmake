# Cross build of the Windows exe with MinGW-w64 (i686): the 32-bit exe for
# 32-bit Windows 10. Its tests are static checks of the exe (and runs under
# Wine where a 32-bit Wine is installed).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
