#!/usr/bin/env bash
# quarn-scan on a cold disk, next to the device's own limit (fio), a
# one-thread read of the same files and ripgrep, all in one run: the page
# cache is dropped before every command (root only), and the commands take
# turns in each round, so a burst of load from elsewhere falls on all alike.
# Prints markdown tables; timing stays out of the tests.
#
# Usage: sudo bench/cold.sh [RESULTS]
#   QUARN_COLD_DIR   where the build, the trees and fio's file go (build/bench-cold)
#   RUNS             rounds per command (3)
#   JOBS             the --jobs values to time ("1 2 8 16 32")
#   BASELINE         another quarn-scan binary to time beside them (an
#                    earlier build, to see that --jobs 1 lost nothing)
set -euo pipefail
cd "$(dirname "$0")/.."
work=${QUARN_COLD_DIR:-build/bench-cold}
results=${1:-$work/results.md}
runs=${RUNS:-3}
jobs_list=${JOBS:-1 2 8 16 32}

source bench/prepare.sh cold.sh

# The device's limit, with direct I/O on a file of 1 GiB: random 4 KiB reads
# (what a small file costs) and sequential 1 MiB reads, each with 32 in
# flight and one at a time.
fio_file=$work/fio.dat
[ -f "$fio_file" ] || fio --name=prepare --filename="$fio_file" --size=1G --rw=write --bs=1M --direct=1 \
  --ioengine=psync --output-format=terse >/dev/null
engine=io_uring
fio --enghelp 2>/dev/null | grep -qx '[[:space:]]*io_uring' || engine=libaio
declare -A fio_rate
for fio_case in "rand 4k 32" "rand 4k 1" "seq 1M 32" "seq 64k 1"; do
  set -- $fio_case
  rw=randread
  [ "$1" = seq ] && rw=read
  sync
  echo 3 >/proc/sys/vm/drop_caches
  fio_rate[$1-$3]=$(fio --name=limit --filename="$fio_file" --size=1G --rw=$rw --bs=$2 --iodepth=$3 --direct=1 \
    --ioengine=$engine --runtime=5 --time_based --output-format=json |
    python3 -c 'import json,sys; r=json.load(sys.stdin)["jobs"][0]["read"]; print(r["iops"] if sys.argv[1]=="rand" else r["bw_bytes"])' "$1")
done

signatures="-e 'Concept Virus' -e '<html><script language=\"JavaScript\">window.open'"
# Times every command on one tree; $1 the tree, $2 cold or warm.
time_tree() {
  local dir=$work/tree/$1 commands=()
  commands+=("floor=sh -c 'find $dir -type f -print0 | xargs -0 cat >/dev/null'")
  commands+=("rg=rg -l -F -uuu -j2 $signatures $dir")
  # The baseline may predate --jobs: it runs without the option.
  [ -n "${BASELINE:-}" ] && commands+=("base=$BASELINE --report-only --quiet --no-summary $dir")
  for j in $jobs_list; do
    commands+=("j$j=$quarn --report-only --quiet --no-summary --jobs $j $dir")
  done
  local mode=()
  [ "$2" = warm ] && mode=(--warm)
  python3 bench/cold_rounds.py "${mode[@]}" --runs "$runs" "${commands[@]}"
}

declare -A json
for tree in small mixed; do
  json[$tree-cold]=$(time_tree $tree cold)
  json[$tree-warm]=$(time_tree $tree warm)
done
echo "${json[@]}" >"$work/times.json"

files=$(find "$work/tree/small" -type f ! -name .complete | wc -l)
bytes=$(find "$work/tree/mixed" -type f ! -name .complete -printf '%s\n' | awk '{s += $1} END {print s}')
{
  printf '%s\n' "fio ($engine, direct I/O, 1 GiB file): random 4 KiB reads $(printf '%.0f' "${fio_rate[rand-32]}")/s with 32 in flight, $(printf '%.0f' "${fio_rate[rand-1]}")/s one at a time; sequential $(python3 -c "print(f'{${fio_rate[seq-32]}/1e6:.0f}')") MB/s with 1 MiB reads and 32 in flight, $(python3 -c "print(f'{${fio_rate[seq-1]}/1e6:.0f}')") MB/s with 64 KiB one at a time."
  echo
  for tree in small mixed; do
    python3 - "$tree" "$files" "$bytes" "${fio_rate[rand-32]}" "${fio_rate[seq-32]}" "${json[$tree-cold]}" "${json[$tree-warm]}" <<'PY'
import json, sys
tree, files, size, rand32, seq32 = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
cold, warm = json.loads(sys.argv[6]), json.loads(sys.argv[7])
names = {"floor": "read floor, 1 thread (find, xargs cat)", "rg": "rg -l -F -uuu -j2",
         "base": "baseline quarn-scan (BASELINE)"}
if tree == "small":
    print(f"Small files ({files} files), median (fastest) of the rounds:\n")
    print("| command | cold | files/s | / fio 4 KiB x32 | / rg | warm | files/s | peak RSS |")
else:
    print(f"Mixed tree ({size / 1e6:.0f} MB), median (fastest) of the rounds:\n")
    print("| command | cold | MB/s | / fio 1 MiB x32 | / rg | warm | MB/s | peak RSS |")
print("|---|---:|---:|---:|---:|---:|---:|---:|")
for label in cold:
    name = names.get(label, f"quarn-scan --jobs {label[1:]}")
    c, w = cold[label], warm[label]
    if tree == "small":
        rate, wrate, device = files / c["median"], files / w["median"], rand32
        unit = lambda r: f"{r:,.0f}"
    else:
        rate, wrate, device = size / c["median"] / 1e6, size / w["median"] / 1e6, seq32 / 1e6
        unit = lambda r: f"{r:,.0f}"
    print(f"| {name} | {c['median']:.3f} s ({c['min']:.3f}) | {unit(rate)} | {rate / device:.2f} | "
          f"{cold['rg']['median'] / c['median']:.2f}x | {w['median']:.3f} s ({w['min']:.3f}) | {unit(wrate)} | "
          f"{max(c['max_rss_kib'], w['max_rss_kib']) / 1024:.1f} MB |")
print()
PY
  done
  echo "Cold: page cache, dentries and inodes dropped before every command; warm: the same after one untimed round."
  echo "$runs interleaved rounds; / rg = ripgrep's median / the command's (above 1: faster than ripgrep)."
  echo "$(nproc) cores, $(uname -sr), load average before the run: $load."
} | tee "$results"
