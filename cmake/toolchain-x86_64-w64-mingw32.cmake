# Cross-compiles for 64-bit Windows with the mingw-w64 x86_64 compilers of the
# posix thread model; everything else as for 32-bit Windows.
set(NKKIVO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32.cmake)
