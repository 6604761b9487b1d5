# Cross build of the 32-bit Windows program with Debian's MinGW-w64:
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
# Its programs run under Wine's 32-bit loader (wine32:i386).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUARN_MINGW_TRIPLE i686-w64-mingw32)
set(QUARN_WINE_LOADER /usr/lib/wine/wine)
# The search compares sixteen bytes at a time in SSE2 registers; every CPU
# that runs Windows 8 or later has SSE2, and most older ones do too.
set(QUARN_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
