# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix), and
# runs what it builds, tests included, under Wine (wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A Wine prefix of the build's own, made completely before the first program runs in it (with
# the display-less driver the window tests need); no debug chatter, no offer to install Mono or
# Gecko, which the programs do not need.
find_program(TESSAPLAN_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(TESSAPLAN_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSAPLAN_WINE_RUN} ${CMAKE_BINARY_DIR}/wine ${TESSAPLAN_WINE64})

# A Windows machine with nothing installed has no libstdc++, libgcc or winpthread DLLs: every
# program carries them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
