#!/usr/bin/env bash
# Times quarn-scan against grep, ripgrep and clamscan on the benchmark tree,
# all in one run and on the same cached data, checks that all four find the
# same files, and writes the figures and ratios to RESULTS (markdown).
#
# Usage: bench/compare/run.sh [RESULTS]
#   QUARN_COMPARE_DIR   where the build and the tree go (build/bench-compare)
#   RUNS / CLAM_RUNS    timed rounds per command (9; clamscan 3, it is slow)
set -euo pipefail
cd "$(dirname "$0")/../.."
work=${QUARN_COMPARE_DIR:-build/bench-compare}
results=${1:-$work/results.md}
runs=${RUNS:-9}
clam_runs=${CLAM_RUNS:-3}

bash scripts/install-deps.sh bench
load=$(cut -d' ' -f1 /proc/loadavg)
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=OFF -DQUARN_UI=OFF >/dev/null
cmake --build "$work/build" --target quarn-scan
quarn=$work/build/src/cli/quarn-scan

tree=$work/tree
if [ ! -f "$tree/expected.txt" ]; then
  rm -rf "$tree"
  python3 bench/compare/make_tree.py "$tree"
fi

# A ClamAV database of just the two signatures, in hex, for any file type.
ndb=$work/quarn.ndb
python3 - "$ndb" <<'PY'
import sys
program = b"Concept Virus"
page = b'<html><script language="JavaScript">window.open'
with open(sys.argv[1], "w") as out:
    out.write(f"Quarn.Program:0:*:{program.hex()}\nQuarn.Page:0:*:{page.hex()}\n")
PY

# Every rival is told to read what quarn-scan reads: ripgrep also hidden,
# ignored and binary files; clamscan raw signatures in HTML, folders deeper
# than 15 and files above its default size limits. The commands are run by
# time_rounds.py without a shell, so no tool pays for one.
signatures="-e 'Concept Virus' -e '<html><script language=\"JavaScript\">window.open'"
declare -A cmd=(
  [quarn]="$quarn --report-only --quiet --no-summary"
  [grep]="grep -rlF $signatures"
  [rg]="rg -l -F -uuu $signatures"
  [clam]="clamscan -r --infected --no-summary -d $ndb --scan-html=no --max-dir-recursion=64 --max-filesize=4000M --max-scansize=4000M"
)

# The files each tool names, relative to the tree. quarn-scan also names
# mail and news files, which it deletes whatever they hold.
found() {
  case "$1" in
    quarn) "$quarn" --report-only --no-summary "$2" | sed 's/^[a-z ]*:  //' | grep -vE '\.(eml|nws)$' ;;
    clam) eval "${cmd[clam]} '$2'" 2>/dev/null | sed 's/: [^:]* FOUND$//' ;;
    *) eval "${cmd[$1]} '$2'" ;;
  esac | sed "s|^$tree/||" | sort
}
for tool in quarn grep rg clam; do
  if ! diff -q <(found "$tool" "$tree/claimed") <(grep '^claimed/' "$tree/expected.txt") >/dev/null; then
    echo "run.sh: $tool does not find exactly the infected files" >&2
    exit 1
  fi
done

# The page cache holds the whole tree before any timing, so every tool reads
# the same cached bytes; the warm-up round keeps it there.
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

declare -A median fastest
for scope in claimed whole; do
  dir=$tree/claimed
  [ "$scope" = whole ] && dir=$tree
  json=$(python3 bench/compare/time_rounds.py --runs "$runs" --runs-of "clam=$clam_runs" \
           "quarn=${cmd[quarn]} $dir" "grep=${cmd[grep]} $dir" "rg=${cmd[rg]} $dir" "clam=${cmd[clam]} $dir")
  echo "$scope: $json" >"$work/times-$scope.json"
  for tool in quarn grep rg clam; do
    median[$tool-$scope]=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]]["median"])' "$json" "$tool")
    fastest[$tool-$scope]=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]]["min"])' "$json" "$tool")
  done
done

claimed_mb=$(du -sm --apparent-size "$tree/claimed" | cut -f1)
whole_mb=$(du -sm --apparent-size "$tree" | cut -f1)
{
  echo "| tool | claimed files only ($claimed_mb MB): median | fastest | ratio | whole tree ($whole_mb MB): median | fastest | ratio |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  for tool in quarn grep rg clam; do
    case $tool in
      quarn) name="quarn-scan --report-only" ;;
      grep) name="grep -rlF" ;;
      rg) name="rg -l -F -uuu" ;;
      clam) name="clamscan -r (ndb)" ;;
    esac
    python3 - "$name" "${median[$tool-claimed]}" "${fastest[$tool-claimed]}" "${median[quarn-claimed]}" \
      "${median[$tool-whole]}" "${fastest[$tool-whole]}" "${median[quarn-whole]}" <<'PY'
import sys
name, c, cf, qc, w, wf, qw = sys.argv[1], *map(float, sys.argv[2:])
print(f"| {name} | {c:.3f} s | {cf:.3f} s | {c / qc:.1f}x | {w:.3f} s | {wf:.3f} s | {w / qw:.1f}x |")
PY
  done
  echo
  echo "Median and fastest of $runs interleaved rounds ($clam_runs for clamscan) after one warm-up round," \
       "page cache warm; ratio = the tool's median / quarn-scan's median." \
       "$(nproc) cores, $(uname -sr), load average before the run: $load."
} | tee "$results"
