#!/usr/bin/env bash
# Builds quarn.exe, the window program, and quarn-scan.exe, the command-line
# scanner, for 32-bit Windows with Debian's MinGW-w64, statically linked so
# that they need no DLL beyond the system's, and packs both with a README and
# the license into a zip for Windows users.
#   scripts/build-windows.sh  -> build/windows-release/src/app/quarn.exe
#                                build/windows-release/src/cli/quarn-scan.exe
#                                build/windows-release/quarn-VERSION-win32.zip
# The same build also makes quarn-sample-tree.exe (tools). See docs/windows.md.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test
out=build/windows-release
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQUARN_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
cmake --build "$out" -j "${QUARN_JOBS:-$(nproc)}" --target quarn quarn-scan quarn-sample-tree
/usr/bin/python3 tests/windows/check_exe.py "$out/src/app/quarn.exe"
/usr/bin/python3 tests/windows/check_exe.py --console "$out/src/cli/quarn-scan.exe"

# The zip holds one folder named like itself, so that unpacking it never
# scatters files. Its texts get CR LF, for every Windows editor.
version=$(sed -n 's/^project(quarn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "build-windows.sh: no project VERSION in CMakeLists.txt" >&2; exit 1; }
name=quarn-$version-win32
stage=$out/zip
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/$name"
cp "$out/src/app/quarn.exe" "$out/src/cli/quarn-scan.exe" "$stage/$name/"
sed 's/$/\r/' dist/windows/README.txt >"$stage/$name/README.txt"
sed 's/$/\r/' LICENSE >"$stage/$name/LICENSE.txt"
(cd "$stage" && zip -q -X -r "../$name.zip" "$name")
rm -rf "$stage"
echo "built $out/src/app/quarn.exe, $out/src/cli/quarn-scan.exe and $out/$name.zip"
