#!/usr/bin/env bash
# Renders the window in the middle of a scan of the sample tree to
# docs/quarn-linux.png, on Qt's offscreen platform (no display needed).
# Usage: scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/quarn-linux.png}
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=OFF >/dev/null
cmake --build "$build" --target quarn-screenshot -j "${QUARN_JOBS:-$(nproc)}"
QT_QPA_PLATFORM=offscreen "$build/tools/quarn-screenshot" "$out"
