#!/usr/bin/env bash
# The first command: installs what the build needs, builds the window program
# and opens its window. Also writes a sample infected tree to try it on and
# prints its folder, to type into "Begin Scan At:".
# Usage: scripts/run.sh          (needs an X11 or Wayland display)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh build

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=OFF >/dev/null
cmake --build "$build" --target quarn quarn-sample-tree quarn-scan -j "${QUARN_JOBS:-$(nproc)}"

# Said here in plain words, before Qt could say it in its own.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
run.sh: quarn is built, but no display is available to open its window
(neither DISPLAY nor WAYLAND_DISPLAY is set). Run this from a desktop
session, over "ssh -X", or under a virtual display: xvfb-run bash scripts/run.sh
The command-line scanner needs no display: build/release/src/cli/quarn-scan
MSG
  exit 1
fi

sample=$(mktemp -d "${TMPDIR:-/tmp}/quarn-sample.XXXXXX")
"$build/tools/quarn-sample-tree" "$sample/tree"
cat <<MSG
A sample infected tree to try the window on: $sample/tree
Type it into "Begin Scan At:" and press Start. The folder the window offers
at first, "/", is the whole file system: a scan there deletes every .eml and
.nws file it finds and repairs infected programs and pages in place.
MSG
exec "$build/src/app/quarn"
