# Shared part of the MinGW-w64 toolchain files; VANT_MINGW_TRIPLE names the
# target. The posix thread model is the one Debian ships; the program itself
# uses no threads library.
find_program(CMAKE_CXX_COMPILER NAMES ${VANT_MINGW_TRIPLE}-g++-posix ${VANT_MINGW_TRIPLE}-g++ REQUIRED)
# GoogleTest's project() enables C too; without this CMake would probe the
# host's cc with MinGW link flags and fail.
find_program(CMAKE_C_COMPILER NAMES ${VANT_MINGW_TRIPLE}-gcc-posix ${VANT_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VANT_MINGW_TRIPLE}-windres REQUIRED)
find_program(VANT_OBJDUMP NAMES ${VANT_MINGW_TRIPLE}-objdump REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VANT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# CTest runs every Windows test program through Wine, in a prefix of this
# build tree's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix)
