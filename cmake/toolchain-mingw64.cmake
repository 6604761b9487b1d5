# Cross build of the same sources as a 64-bit Windows program. It exists for
# machines that cannot run 32-bit code at all (no 32-bit user mode in the
# kernel or hypervisor), where Wine's 32-bit loader cannot start: there the
# Windows tests run on this build under Wine's 64-bit loader (wine64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUARN_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUARN_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
