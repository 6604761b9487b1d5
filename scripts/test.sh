#!/usr/bin/env bash
# Installs what is missing, builds quarn and runs every test: each stage in
# scripts/test.d runs in name order, and the run fails if any stage fails.
# Usage: scripts/test.sh [STAGE-PATTERN]   e.g. scripts/test.sh 10
set -uo pipefail
cd "$(dirname "$0")/.."
export QUARN_ROOT=$PWD
export QUARN_JOBS=${QUARN_JOBS:-$(nproc)}

bash scripts/install-deps.sh test || { echo "test.sh: installing dependencies failed" >&2; exit 1; }

pattern=${1:-}
failed=()
passed=0
for stage in scripts/test.d/*.sh; do
  name=$(basename "$stage" .sh)
  [ -n "$pattern" ] && [[ "$name" != *"$pattern"* ]] && continue
  echo "=== stage $name"
  start=$(date +%s)
  if bash "$stage"; then
    passed=$((passed + 1))
    echo "=== stage $name passed in $(( $(date +%s) - start )) s"
  else
    failed+=("$name")
    echo "=== stage $name FAILED in $(( $(date +%s) - start )) s"
  fi
done

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed stages: ${failed[*]}"
fi
echo "stages: $passed passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
