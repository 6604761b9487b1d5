#!/usr/bin/env bash
# What a user who types no --jobs gets, where users are: quarn-scan's
# default beside every fixed --jobs, ripgrep and find's bare walk, on a cold
# cache, in one run. Cases: the small-file tree and the mixed tree of
# bench/cold_tree.py, a walk of /usr, and the small-file tree again on an
# NTFS image mounted through ntfs-3g, the rescue system's usual driver.
# The page cache is dropped before every command (root only), and the
# commands take turns in each round. Prints a markdown table.
#
# Usage: sudo bench/defaults.sh [RESULTS]
#   QUARN_COLD_DIR   where the build, the trees and the image go (build/bench-cold)
#   RUNS             rounds per command (3)
#   JOBS             the fixed --jobs values to time ("1 2 4 8 16")
#   CASES            which cases ("small mixed usr ntfs")
set -euo pipefail
cd "$(dirname "$0")/.."
work=${QUARN_COLD_DIR:-build/bench-cold}
results=${1:-$work/defaults.md}
runs=${RUNS:-3}
jobs_list=${JOBS:-1 2 4 8 16}
cases=${CASES:-small mixed usr ntfs}

source bench/prepare.sh defaults.sh

# The NTFS image holds a copy of the small-file tree; it is made once and
# mounted for the run only.
image=$work/small.ntfs mount_point=$work/ntfs
unmount() { mountpoint -q "$mount_point" && umount "$mount_point" || true; }
trap unmount EXIT
if [[ " $cases " == *" ntfs "* ]]; then
  mkdir -p "$mount_point"
  if [ ! -f "$image.complete" ]; then
    rm -f "$image"
    truncate -s 1G "$image"
    mkntfs -F -Q -q "$image" 2>/dev/null
    ntfs-3g "$image" "$mount_point"
    cp -a "$work/tree/small" "$mount_point/small"
    umount "$mount_point"
    touch "$image.complete"
  fi
  ntfs-3g -o ro "$image" "$mount_point"
fi

dir_of() {
  case $1 in
    small | mixed) echo "$work/tree/$1" ;;
    usr) echo /usr ;;
    ntfs) echo "$mount_point/small" ;;
  esac
}

signatures=(-e 'Concept Virus' -e '<html><script language="JavaScript">window.open')
declare -A times choice
for case_name in $cases; do
  dir=$(dir_of "$case_name")
  commands=("default=$quarn --report-only --quiet --no-summary $dir")
  for j in $jobs_list; do commands+=("j$j=$quarn --report-only --quiet --no-summary --jobs $j $dir"); done
  commands+=("rg=rg -l -F -uuu -j2 $(printf "%q " "${signatures[@]}") $dir")
  commands+=("find=find $dir")
  times[$case_name]=$(python3 bench/cold_rounds.py --runs "$runs" "${commands[@]}")
  # What the default chose, from one more cold run.
  sync
  echo 3 >/proc/sys/vm/drop_caches
  choice[$case_name]=$("$quarn" --report-only --quiet --json "$dir" | python3 -c '
import json, sys
s = json.loads(sys.stdin.readlines()[-1])
print("%s: %s" % (s["jobs"], s["jobs_reason"]))')
done

{
  echo "Cold cache, median of $runs interleaved rounds, in seconds; the ratios are speeds (above 1: the default is faster)."
  echo
  echo "| case | default | best fixed --jobs | default / best | ripgrep -j2 | default / rg | find | default / find |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|"
  for case_name in $cases; do
    python3 - "$case_name" "${times[$case_name]}" <<'PY'
import json, sys
name, times = sys.argv[1], json.loads(sys.argv[2])
median = {label: t["median"] for label, t in times.items()}
fixed = {label: m for label, m in median.items() if label.startswith("j")}
best = min(fixed, key=fixed.get)
d = median["default"]
titles = {"small": "60,000 small files", "mixed": "mixed 512 MiB", "usr": "walk of /usr",
          "ntfs": "60,000 small files on ntfs-3g"}
print(f"| {titles[name]} | {d:.3f} | {fixed[best]:.3f} (--jobs {best[1:]}) | {fixed[best] / d:.2f} | "
      f"{median['rg']:.3f} | {median['rg'] / d:.2f} | {median['find']:.3f} | {median['find'] / d:.2f} |")
PY
  done
  echo
  for case_name in $cases; do echo "- default on $case_name: ${choice[$case_name]}"; done
  echo
  echo "Every command's median (fastest) in seconds:"
  echo
  for case_name in $cases; do
    python3 -c 'import json, sys
t = json.loads(sys.argv[2])
print("- " + sys.argv[1] + ": " + ", ".join("%s %.3f (%.3f)" % (k, v["median"], v["min"]) for k, v in t.items()))' \
      "$case_name" "${times[$case_name]}"
  done
  echo
  echo "$(nproc) cores, $(uname -sr), load average before the run: $load."
} | tee "$results"
