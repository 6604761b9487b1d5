#!/usr/bin/env bash
# Draws the program's icon, IDR_MAINFRAME: a blue shield with a white "Q"
# and a yellow tail, at 32x32 and 16x16, in the 16 standard VGA colours with
# a one-bit mask, packed into res/quarn.ico. The result is committed; run this
# only to change the artwork. Needs ImageMagick and icoutils.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 32x32 xc:none \
  -fill '#000080' -stroke '#000000' -strokewidth 1 \
  -draw "path 'M 3,3 L 28,3 L 28,16 Q 28,26 15.5,30 Q 3,26 3,16 Z'" \
  -fill none -stroke '#FFFFFF' -strokewidth 3 -draw "ellipse 15.5,14 6,6.5 0,360" \
  -stroke '#FFFF00' -strokewidth 3 -draw "line 17,17 23,24" \
  "$work/q32.png"
convert -size 16x16 xc:none \
  -fill '#000080' -stroke '#000000' -strokewidth 1 \
  -draw "path 'M 1,1 L 14,1 L 14,8 Q 14,13 7.5,15 Q 1,13 1,8 Z'" \
  -fill none -stroke '#FFFFFF' -strokewidth 1.6 -draw "ellipse 7.5,7 3,3.3 0,360" \
  -stroke '#FFFF00' -strokewidth 1.6 -draw "line 8.5,8.5 12,12" \
  "$work/q16.png"

# The 16 colours of the standard palette, in their usual order.
palette=()
for c in 000000 800000 008000 808000 000080 800080 008080 C0C0C0 \
         808080 FF0000 00FF00 FFFF00 0000FF FF00FF 00FFFF FFFFFF; do
  palette+=("xc:#$c")
done
convert "${palette[@]}" +append "$work/palette.png"

for s in 32 16; do
  convert "$work/q$s.png" -channel A -threshold 50% +channel \
    -dither None -remap "$work/palette.png" -type PaletteAlpha "$work/p$s.png"
done
icotool -c -b 4 -o quarn.ico "$work/p32.png" "$work/p16.png"
icotool -l quarn.ico
