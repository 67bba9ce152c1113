# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build/mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRANE_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX-threads flavour where Debian offers it: std::thread and std::this_thread need it.
find_program(KESTRANE_MINGW_CXX NAMES ${KESTRANE_MINGW_PREFIX}-g++-posix ${KESTRANE_MINGW_PREFIX}-g++)
if(NOT KESTRANE_MINGW_CXX)
  message(FATAL_ERROR "mingw-w64 not found: install g++-mingw-w64-x86-64")
endif()
set(CMAKE_CXX_COMPILER ${KESTRANE_MINGW_CXX})
# The C compiler of the same flavour, for C projects built alongside (GoogleTest, SDL2).
find_program(KESTRANE_MINGW_CC NAMES ${KESTRANE_MINGW_PREFIX}-gcc-posix ${KESTRANE_MINGW_PREFIX}-gcc)
set(CMAKE_C_COMPILER ${KESTRANE_MINGW_CC})
set(CMAKE_RC_COMPILER ${KESTRANE_MINGW_PREFIX}-windres)

# KESTRANE_WINDOWS_DEPS: the folder scripts/windows-deps built SDL2 and Qt into, searched too.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRANE_MINGW_PREFIX} ${KESTRANE_WINDOWS_DEPS})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTRANE_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A kestrane-cli.exe that runs without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
