# The Windows build: quarn.exe for 32-bit Windows from the same sources, and
# its tests under Wine: the platform, engine, remedies and window tests as
# ctest's cross-compiling emulator, then quarn.exe end to end under Xvfb.
# See docs/windows.md.
set -euo pipefail
jobs=${QUARN_JOBS:-2}

# The program that users get: 32-bit, statically linked, checked as built.
cmake -S . -B build/windows -G Ninja -DQUARN_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON >/dev/null
cmake --build build/windows -j "$jobs"
/usr/bin/python3 tests/windows/check_exe.py build/windows/src/app/quarn.exe

# Wine's 32-bit loader is an i386 program, and some machines cannot run
# 32-bit code at all (a kernel or hypervisor without a 32-bit user mode). An
# emulator registered for i386 binaries (qemu-user) starts it, but at about a
# minute per Wine process, far too slow for a test run. There the same
# sources are built for 64-bit Windows and tested under Wine's 64-bit loader.
# QUARN_WINE_WIDTH=32 or 64 decides instead.
width=${QUARN_WINE_WIDTH:-}
if [ -z "$width" ]; then
  if ! grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/* && timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    width=32
  else
    width=64
  fi
fi
if [ "$width" = 32 ]; then
  tests=build/windows
  loader=/usr/lib/wine/wine
  export WINEARCH=win32
else
  echo "60-wine: this machine cannot run 32-bit code natively; testing the 64-bit build under wine64"
  tests=build/windows-64
  loader=/usr/lib/wine/wine64
  export WINEARCH=win64
  cmake -S . -B "$tests" -G Ninja -DQUARN_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON >/dev/null
  cmake --build "$tests" -j "$jobs"
  /usr/bin/python3 tests/windows/check_exe.py --x86-64 "$tests/src/app/quarn.exe"
fi

# A fresh prefix for this run, set up once before any test starts.
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/quarn-wine.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$loader
wineserver=${loader%/*}/wineserver
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
"$loader" wineboot -i >/dev/null 2>&1
"$wineserver" -w

# The shared suites, less the cases that tests/windows/wine-excluded.txt
# lists with their reasons. quarn-scan's suites (label cli) are its unit
# tests and the cases of quarn-scan.exe itself that Windows can run; the
# POSIX-only cases (links, signals, terminals, POSIX paths) are not built
# for Windows.
exclude=$(grep -v -e '^#' -e '^$' tests/windows/wine-excluded.txt | paste -sd'|')
ctest --test-dir "$tests" --output-on-failure -j "$jobs" --timeout 300 -LE 'display' -E "$exclude"

# The tests that open windows, and quarn.exe end to end, on a display of
# their own. Wine's desktop process from the runs above has no display, and
# windows made now would go to it: it is ended first.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  ctest --test-dir "$tests" --output-on-failure --timeout 300 -L display
bash tests/windows/run-window-e2e.sh "$tests" "$loader" "$tests/quarn-windows.png"
echo "60-wine: screenshot of the window at $tests/quarn-windows.png"
