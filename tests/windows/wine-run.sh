#!/usr/bin/env bash
# Runs one Windows program under Wine. ctest (as the cross build's emulator)
# and the test discovery at build time call it as
#   wine-run.sh LOADER PROGRAM.exe [ARGS...]
# where LOADER is Wine's 32-bit loader (/usr/lib/wine/wine) or its 64-bit one
# (/usr/lib/wine/wine64). The prefix is $WINEPREFIX when it is set (the test
# stage makes a fresh one under /tmp); otherwise one per user and width under
# /tmp, created on first use. The exit status is the program's.
set -uo pipefail

loader=${1:?usage: wine-run.sh LOADER PROGRAM.exe [ARGS...]}
shift
case "$loader" in
  *64) arch=win64 ;;
  *) arch=win32 ;;
esac
export WINEPREFIX=${WINEPREFIX:-/tmp/quarn-wine-$(id -u)-$arch}
export WINEARCH=$arch WINELOADER=$loader
export WINEDEBUG=-all
# No .NET or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # Several tests may start at once; one of them sets the prefix up.
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$loader" wineboot -i >/dev/null 2>&1
      "${loader%/*}/wineserver" -w 2>/dev/null || wineserver -w
    fi
  ) 9>"$WINEPREFIX/.quarn-init.lock"
fi

# The C run-time writes text mode's CR LF; test discovery and ctest's output
# want plain lines.
"$loader" "$@" | tr -d '\r'
exit "${PIPESTATUS[0]}"
