# The real quarn-scan under real faults, short: 30 kills at random moments,
# a disk that fills up, a read-only mount, reads that fail, files changed
# under the scan, 210,000 files and a 10 GiB program and page, and 30 runs
# with --backup killed at random moments and then undone. The long version
# is scripts/soak.sh; docs/reliability.md says what is promised.
set -euo pipefail
FAULT_KILLS=30 FAULT_RUNS=3 FAULT_JOBS="1 4" bash scripts/faults.sh
