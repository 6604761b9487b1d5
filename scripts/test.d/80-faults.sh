# The real quarn-scan under real faults, short: 30 kills at random moments,
# a disk that fills up, a read-only mount, reads that fail, files changed
# under the scan, 210,000 files and a 10 GiB program and page, and 30 runs
# with --backup killed at random moments and then undone. The long version
# is scripts/soak.sh; docs/reliability.md says what is promised.
set -euo pipefail
FAULT_KILLS=30 FAULT_RUNS=3 FAULT_JOBS="1 4" bash scripts/faults.sh
# faults.sh has built build/native. Each kill of a run with --backup is
# followed by --undo, which must put every file back as it was.
for j in 1 4; do
  python3 tests/faults/harness.py --scan build/native/src/cli/quarn-scan --sample build/native/tools/quarn-sample-tree \
    --jobs "$j" --fault kill-undo --runs 15
done
