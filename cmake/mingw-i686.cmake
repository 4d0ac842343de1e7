# Cross build of the Windows exe with MinGW-w64 (i686): the 32-bit exe for
# 32-bit Windows 10. Its tests run under 32-bit Wine where that starts
# (scripts/test-x86.sh finds a way); otherwise only the exe files are checked.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
