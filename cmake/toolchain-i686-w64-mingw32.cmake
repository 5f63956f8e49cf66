# Cross-compiles for 32-bit Windows with the mingw-w64 i686 compilers of the
# posix thread model: GoogleTest needs std::thread and std::mutex, which the
# win32 thread model of these compilers lacks. toolchain-x86_64-w64-mingw32
# reuses this file for 64-bit Windows.
#
# Libraries built for the target (expat, GoogleTest) are searched only below
# CMAKE_FIND_ROOT_PATH, which the caller sets to their install prefix, so the
# host's own copies are never picked up by mistake.
if(NOT NKKIVO_MINGW_TRIPLET)
    set(NKKIVO_MINGW_TRIPLET i686-w64-mingw32)
endif()
if(NKKIVO_MINGW_TRIPLET MATCHES "^x86_64")
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
    set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${NKKIVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NKKIVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${NKKIVO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run through wine; the caller chooses the prefix and its
# architecture in the environment (WINEPREFIX, WINEARCH) and may name another
# loader with -DCMAKE_CROSSCOMPILING_EMULATOR.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
