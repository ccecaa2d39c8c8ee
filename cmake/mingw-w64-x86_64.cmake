# Cross build for 64-bit Windows with Debian's MinGW-w64 (GCC, posix threads for std::thread).
# Libraries and packages come from the MinGW sysroot and from every CMAKE_PREFIX_PATH entry
# (the cached toolchain of scripts/windows.sh); programs come from the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_lv_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_lv_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_lv_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_lv_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_lv_triple} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
