# Cross-building the Windows program with MinGW-w64 (x86_64).
#
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The -posix drivers: GCC 12's default (Win32) thread model has no std::thread, std::mutex or
# std::recursive_mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVB_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVB_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVB_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KVB_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs built here run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
