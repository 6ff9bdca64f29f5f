# Cross-compiling toolchain for the 64-bit Windows DLL with Debian's
# mingw-w64 (posix thread model, which GoogleTest needs for std::mutex).
# Test programs run under wine through CTest's cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TDS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TDS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TDS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TDS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TDS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TDS_WINE NAMES wine wine64 PATHS /usr/bin /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TDS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TDS_WINE})
endif()
