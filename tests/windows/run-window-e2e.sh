#!/usr/bin/env bash
# End to end under Xvfb: quarn.exe scans the sample tree, driven by the
# keyboard, and the Windows driver (quarn-window-e2e.exe) checks the window's
# fields and rows, the tree and the scan log at the prefix's
# c:\vosko_clean.log.
#   run-window-e2e.sh BUILD_DIR LOADER [SCREENSHOT.png]
# BUILD_DIR is a MinGW build with quarn.exe and quarn-window-e2e.exe; LOADER
# is the Wine loader for its width. $WINEPREFIX must name a prefix made for
# this run (the test stage makes a fresh one); the script sets its desktop.
set -euo pipefail

build=$(cd "${1:?usage: run-window-e2e.sh BUILD_DIR LOADER [SCREENSHOT.png]}" && pwd)
loader=${2:?usage: run-window-e2e.sh BUILD_DIR LOADER [SCREENSHOT.png]}
screenshot=${3:-}
: "${WINEPREFIX:?set WINEPREFIX to a prefix made for this run}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$loader
wineserver=${loader%/*}/wineserver

tree='c:\quarn-e2e\tree'
work=$(mktemp -d /tmp/quarn-e2e.XXXXXX)
xvfb_pid=
driver_pid=
cleanup() {
  if [ -n "$driver_pid" ]; then kill "$driver_pid" 2>/dev/null || true; fi
  "$wineserver" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "run-window-e2e: $*" >&2
  [ -f "$work/driver.log" ] && tr -d '\r' <"$work/driver.log" >&2
  exit 1
}

# A display of our own; -displayfd picks a free number.
Xvfb -displayfd 3 -screen 0 800x640x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")

# There is no window manager: a Wine desktop gives the window Wine's own
# frame and caption. Debian's wine does not put its fonts into a new
# prefix's Fonts folder, so the dialog font (MS Sans Serif) and the caption
# buttons' glyphs (Marlett) are copied in. Of MS Sans Serif only the
# TrueType face: the bitmap faces (sserif*.fon) take no linked fonts, and
# Windows itself draws the template's font as TrueType. Linked to it, as
# Windows links its own, WenQuanYi Micro Hei draws CJK names and Symbola
# emoji, so the list shows every name as it is.
"$loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x600 /f >/dev/null 2>&1
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*; do
  case ${font##*/} in sserif*) ;; *) cp -n "$font" "$fonts/" ;; esac
done
cp -n /usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/fonts/truetype/ancient-scripts/Symbola_hint.ttf \
  "$fonts/"
"$loader" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v 'MS Sans Serif' \
  /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei\0Symbola_hint.ttf,Symbola' /f >/dev/null 2>&1
"$wineserver" -w

quarn=$("$loader" winepath -w "$build/src/app/quarn.exe" 2>/dev/null | tr -d '\r')
[ -n "$quarn" ] || fail "winepath could not name $build/src/app/quarn.exe"
"$loader" "$build/tests/windows/quarn-window-e2e.exe" "$tree" "$quarn" >"$work/driver.log" 2>&1 &
driver_pid=$!

# Waits for the driver to print a line; fails if it ends first.
wait_line() {
  for _ in $(seq 1800); do
    tr -d '\r' <"$work/driver.log" | grep -qx "$1" && return 0
    kill -0 "$driver_pid" 2>/dev/null || fail "the driver ended before it said $1"
    sleep 0.1
  done
  fail "the driver did not say $1 within 3 minutes"
}

desktop() { xdotool search --name 'Wine desktop' | head -n1; }

# The keyboard: Shift+Tab goes from the Start button back to the start-folder
# box (which selects its text), the folder is typed over it, and Enter
# presses the default button.
wait_line READY
target=$(desktop)
[ -n "$target" ] || fail "no Wine desktop window on $DISPLAY"
xdotool windowfocus --sync "$target"
xdotool key --delay 100 shift+Tab
xdotool type --delay 40 "$tree"
xdotool key Return

wait_line SCANNED
if [ -n "$screenshot" ]; then
  window=$(xdotool search --name 'Veda-Quarn Virus Killer' | head -n1)
  if [ -n "$window" ]; then
    import -window "$window" "$screenshot"
  else
    import -window "$target" "$screenshot"
  fi
fi
# At least one file has been scanned, so Enter on Close ends the program.
xdotool key Return

wait_line READY-ESCAPE
xdotool windowfocus --sync "$(desktop)"
# Escape again while the program runs: under a loaded machine the first key
# can reach Wine before the window has taken the keyboard. Once the program
# has ended, a further Escape reaches only the empty desktop.
for _ in $(seq 20); do
  xdotool key Escape
  sleep 1
  tr -d '\r' <"$work/driver.log" | grep -qx -E 'PASS|FAIL' && break
  kill -0 "$driver_pid" 2>/dev/null || break
done

status=0
wait "$driver_pid" || status=$?
driver_pid=
tr -d '\r' <"$work/driver.log"
[ "$status" -eq 0 ] || fail "the driver reported failures (status $status)"
tr -d '\r' <"$work/driver.log" | tail -n1 | grep -qx PASS || fail "the driver did not end with PASS"
echo "run-window-e2e: passed"
