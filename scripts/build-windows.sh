#!/usr/bin/env bash
# Builds quarn.exe, the window program for 32-bit Windows, with Debian's
# MinGW-w64, statically linked so that it needs no DLL beyond the system's.
#   scripts/build-windows.sh        -> build/windows-release/src/app/quarn.exe
# The same build also makes quarn-scan.exe (src/cli) and quarn-sample-tree.exe
# (tools). See docs/windows.md.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test
out=build/windows-release
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQUARN_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
cmake --build "$out" -j "${QUARN_JOBS:-$(nproc)}" --target quarn quarn-sample-tree
/usr/bin/python3 tests/windows/check_exe.py "$out/src/app/quarn.exe"
echo "built $out/src/app/quarn.exe"
