#!/usr/bin/env bash
# The first command: installs what the build needs, builds the window program
# and writes a sample infected tree. With a display it prints the tree's
# folder, to type into "Begin Scan At:", and opens the window. Without one it
# runs quarn-scan on the tree, first with --report-only, then for real with
# a log beside the tree, and shows what was done.
# Usage: scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh build

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=OFF >/dev/null
cmake --build "$build" --target quarn quarn-sample-tree quarn-scan -j "${QUARN_JOBS:-$(nproc)}"

sample=$(mktemp -d "${TMPDIR:-/tmp}/quarn-sample.XXXXXX")
"$build/tools/quarn-sample-tree" "$sample/tree" >/dev/null

# Without a display the window cannot open: show the main job instead, with
# the command-line scanner on the same engine, on the sample tree.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  scan=$build/src/cli/quarn-scan
  cat <<MSG
run.sh: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set),
so instead of the window, its engine runs from the command line, as
quarn-scan, on a sample infected tree: $sample/tree

=== 1. What a scan would do, changing nothing: quarn-scan --report-only
MSG
  # An error outranks a find: the tree's one damaged program that cannot be
  # restored makes both runs end with status 2, which is expected here.
  "$scan" --report-only "$sample/tree" || true
  cat <<MSG

=== 2. The scan itself, on the same tree: quarn-scan --log $sample/quarn-scan.log
MSG
  status=0
  "$scan" --log "$sample/quarn-scan.log" "$sample/tree" || status=$?
  case $status in
    0) outcome="nothing infected was found" ;;
    1) outcome="infected files were found and remedied" ;;
    2) outcome="infected files were found and remedied, except those whose
line reads error: they could not be, and are left as they were" ;;
    *) echo "run.sh: quarn-scan stopped with status $status" >&2; exit "$status" ;;
  esac
  cat <<MSG

Done, status $status: $outcome.
The tree after the scan: $sample/tree
The scan log, one line per remedied file: $sample/quarn-scan.log
To see the window, run this from a desktop session, over "ssh -X", or
under a virtual display: xvfb-run bash scripts/run.sh
MSG
  exit 0
fi

cat <<MSG
A sample infected tree to try the window on: $sample/tree
Type it into "Begin Scan At:" and press Start. The folder the window offers
at first, "/", is the whole file system: a scan there deletes every .eml and
.nws file it finds and repairs infected programs and pages in place.
MSG
exec "$build/src/app/quarn"
