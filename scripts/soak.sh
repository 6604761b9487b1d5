#!/usr/bin/env bash
# The long fault run, started by hand (well over half an hour here): 300
# kills, 20 runs of each other fault, a million small files, each with one,
# four and sixteen jobs. Root, for the mounts. See docs/reliability.md.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
FAULT_KILLS=${FAULT_KILLS:-300} FAULT_UNDO_KILLS=${FAULT_UNDO_KILLS:-100} FAULT_RUNS=${FAULT_RUNS:-20} FAULT_FILES=${FAULT_FILES:-1000000} \
  FAULT_WIDE=${FAULT_WIDE:-200000} FAULT_HUGE=1 FAULT_JOBS=${FAULT_JOBS:-"1 4 16"} exec bash scripts/faults.sh
