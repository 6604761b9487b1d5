# Sourced by the cold-cache benchmarks: checks that the page cache can be
# dropped (root), installs the rivals, builds quarn-scan without tests or
# window into $work/build and writes the trees of cold_tree.py below
# $work/tree. Sets quarn (the binary) and load (the load average before the
# run, for the results' footer). $1 names the calling script in messages.
if [ "$(id -u)" -ne 0 ]; then
  echo "$1: dropping the page cache needs root" >&2
  exit 1
fi
bash scripts/install-deps.sh bench
load=$(cut -d' ' -f1 /proc/loadavg)
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=OFF -DQUARN_UI=OFF >/dev/null
cmake --build "$work/build" --target quarn-scan
quarn=$work/build/src/cli/quarn-scan
python3 bench/cold_tree.py "$work/tree"
