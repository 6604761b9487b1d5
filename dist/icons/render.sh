#!/usr/bin/env bash
# Renders the icon drawing quarn.svg to the PNG sizes that the hicolor theme
# looks for first (menus, docks, software centres). The PNGs are committed,
# so that building and installing need no SVG renderer; run this only after
# changing the drawing. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" quarn.svg --output "quarn-$size.png"
done
