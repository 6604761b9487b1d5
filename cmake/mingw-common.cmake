# Shared part of the MinGW-w64 toolchain files. The including file sets
# QUARN_MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) and
# QUARN_WINE_LOADER (the Wine loader that runs programs of that width), and
# may set QUARN_MINGW_ARCH_FLAGS (code-generation options).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# The posix-thread variant: GCC 12's default (win32-thread) variant has no
# std::thread or std::mutex, and the engine uses std::mutex.
set(CMAKE_C_COMPILER ${QUARN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 is the oldest system whose API the platform layer uses
# (SetFileInformationByHandle, GetFileInformationByHandleEx).
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 ${QUARN_MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 ${QUARN_MINGW_ARCH_FLAGS}")


# ctest, and gtest_discover_tests at build time, run the test programs under
# Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh ${QUARN_WINE_LOADER})

# Static linking, googletest and CLI11 for the cross build (see
# mingw-packages.cmake).
set(CMAKE_PROJECT_quarn_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/mingw-packages.cmake)

# Test programs list their tests when ctest runs, not at build time, so a
# build succeeds on a machine whose Wine cannot run the programs.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
