# Cross-builds the core, cfgctl.exe and the core tests for 64-bit Windows
# with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix: the "posix"
# thread model gives std::thread and std::mutex).
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Tests run under Wine (package wine64) through the emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CFG_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CFG_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CFG_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CFG_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CFG_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Debian installs Wine's 64-bit loader outside PATH.
find_program(CFG_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(CFG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CFG_WINE})
endif()
