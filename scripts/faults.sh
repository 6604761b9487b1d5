#!/usr/bin/env bash
# Runs the real quarn-scan under real faults (tests/faults/harness.py) and
# fails on the first run that loses or wrongly changes a file. Used by the
# test stage 80-faults with short counts and by scripts/soak.sh with long
# ones; each count comes from the environment:
#   FAULT_KILLS      SIGKILL at a random moment, then a complete scan   (30)
#   FAULT_UNDO_KILLS SIGKILL at a random moment of a run with --backup,
#                    then --undo, for each of FAULT_JOBS                (15)
#   FAULT_RUNS       runs each of full-disk, read-only, eio, churn      (3)
#   FAULT_FILES      small files for the load run                       (10000)
#   FAULT_WIDE       entries of the load run's one wide folder          (200000)
#   FAULT_HUGE       1: remedy a 10 GiB sparse program and page          (1)
#   FAULT_CROWD      copies of one program in one folder, cleaned with
#                    each of FAULT_CROWD_JOBS and by two scans at once  (3000)
#   FAULT_CROWD_JOBS the --jobs values of the crowd runs                 (8 64)
#   FAULT_JOBS       space-separated --jobs values to run each fault with;
#                    "default" runs without --jobs                     (default)
# Root is needed for the full disk (a small tmpfs) and the read-only mount;
# without it those two are skipped with a note.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QUARN_JOBS:-$(nproc)}

cmake -S . -B build/native -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON \
  -DQUARN_BENCH=ON >/dev/null
cmake --build build/native -j "$jobs" --target quarn-scan quarn-sample-tree quarn_fault
build=$PWD/build/native
harness=(python3 tests/faults/harness.py --scan "$build/src/cli/quarn-scan"
         --sample "$build/tools/quarn-sample-tree" --fault-library "$build/tests/faults/libquarn_fault.so")

faults=(full-disk full-backup read-only eio churn)
if [ "$(id -u)" -ne 0 ]; then
  echo "faults.sh: not root: the full-disk and read-only runs need mounts and are skipped"
  faults=(eio churn)
fi

for j in ${FAULT_JOBS:-default}; do
  with_jobs=()
  [ "$j" != default ] && with_jobs=(--jobs "$j")
  "${harness[@]}" "${with_jobs[@]}" --fault kill --runs "${FAULT_KILLS:-30}"
  "${harness[@]}" "${with_jobs[@]}" --fault kill-undo --runs "${FAULT_UNDO_KILLS:-15}"
  for fault in "${faults[@]}"; do
    "${harness[@]}" "${with_jobs[@]}" --fault "$fault" --runs "${FAULT_RUNS:-3}"
  done
done
# Thousands of copies of one program side by side, with many jobs and with
# two scans at once: every copy restored, nothing left behind.
for j in ${FAULT_CROWD_JOBS:-8 64}; do
  "${harness[@]}" --jobs "$j" --fault crowd --copies 1 --crowd "${FAULT_CROWD:-3000}" --runs "${FAULT_RUNS:-3}"
done
"${harness[@]}" --jobs 8 --fault rivals --copies 1 --crowd "${FAULT_CROWD:-3000}" --runs "${FAULT_RUNS:-3}"
"${harness[@]}" --fault load --copies 1 --files "${FAULT_FILES:-10000}" --wide "${FAULT_WIDE:-200000}"
[ "${FAULT_HUGE:-1}" = 1 ] && "${harness[@]}" --fault huge --copies 1
echo "faults.sh: every run kept every file"
