# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686).
# The posix thread model compilers give std::thread and std::mutex; the C and C++
# runtimes are linked statically so that the programs need only system DLLs.
# SSE2 arithmetic keeps float results equal to the x86-64 build's (x87 would round
# differently) and is what the MPEG decoder's vector code expects.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
#
# ZARNOTH_WIN_DEPS names the prefix with the libraries cross-built for the target
# (libjpeg-turbo, zlib, libpng; scripts/windows.sh builds them into build-win/deps).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ZARNOTH_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARNOTH_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARNOTH_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARNOTH_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${ZARNOTH_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${ZARNOTH_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT DEFINED ZARNOTH_WIN_DEPS)
  set(ZARNOTH_WIN_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-win/deps/prefix")
endif()
get_filename_component(ZARNOTH_WIN_DEPS "${ZARNOTH_WIN_DEPS}" ABSOLUTE)
# Passed on to the try_compile projects CMake configures while it probes the compilers.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZARNOTH_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARNOTH_MINGW_TRIPLET} ${ZARNOTH_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (and anything else the build would run for the target) go through Wine.
find_program(ZARNOTH_WINE wine)
if(ZARNOTH_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZARNOTH_WINE})
endif()
