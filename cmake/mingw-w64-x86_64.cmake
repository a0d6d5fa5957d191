# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix-thread GCC,
# the one with std::thread and a working std::filesystem).
#
#   cmake -S . -B build/windows/build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTRAMAZEL_WINDOWS_SYSROOT=/path/to/sysroot
#
# TRAMAZEL_WINDOWS_SYSROOT is a folder with the third-party libraries built for
# Windows (pugixml, GoogleTest), installed there by scripts/build-windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRAMAZEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRAMAZEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRAMAZEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRAMAZEL_MINGW_TRIPLET}-windres)

# The sysroot reaches try_compile projects too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TRAMAZEL_WINDOWS_SYSROOT)
set(CMAKE_FIND_ROOT_PATH /usr/${TRAMAZEL_MINGW_TRIPLET})
if(TRAMAZEL_WINDOWS_SYSROOT)
    list(PREPEND CMAKE_FIND_ROOT_PATH ${TRAMAZEL_WINDOWS_SYSROOT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C++ runtime, libgcc and winpthreads linked in, so
# nothing but the DLLs every Windows has is needed beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine on the build machine.
find_program(TRAMAZEL_WINE NAMES wine)
if(TRAMAZEL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TRAMAZEL_WINE})
endif()
