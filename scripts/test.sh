#!/usr/bin/env bash
# Installs what is missing, builds quarn and runs every test: each stage in
# scripts/test.d runs in name order, and the run fails if any stage fails.
# Usage: scripts/test.sh [STAGE-PATTERN]   e.g. scripts/test.sh 10
set -uo pipefail
cd "$(dirname "$0")/.."
export QUARN_ROOT=$PWD
export QUARN_JOBS=${QUARN_JOBS:-$(nproc)}

bash scripts/install-deps.sh test || { echo "test.sh: installing dependencies failed" >&2; exit 1; }

# Each stage's output is also kept in build/stage-logs, so that a failure
# deep in a long stage can be shown again at the end, where a CI excerpt that
# keeps only the last lines will still see it.
logs=build/stage-logs
mkdir -p "$logs"

pattern=${1:-}
failed=()
passed=0
for stage in scripts/test.d/*.sh; do
  name=$(basename "$stage" .sh)
  [ -n "$pattern" ] && [[ "$name" != *"$pattern"* ]] && continue
  echo "=== stage $name"
  start=$(date +%s)
  if bash "$stage" 2>&1 | tee "$logs/$name.log"; then
    passed=$((passed + 1))
    echo "=== stage $name passed in $(( $(date +%s) - start )) s"
  else
    failed+=("$name")
    echo "=== stage $name FAILED in $(( $(date +%s) - start )) s"
  fi
done

echo
for name in "${failed[@]}"; do
  echo "--- what went wrong in $name (all of it in $logs/$name.log)"
  # The first report of each kind, then the stage's own last lines.
  failure='FAILED|Failed|Failure|failed|Timeout|WARNING: (Thread|Address)Sanitizer|^SUMMARY:|runtime error|error:'
  grep -n -m 40 -E "$failure" "$logs/$name.log" | cut -c1-300
  first=$(grep -n -m 1 -E 'WARNING: ThreadSanitizer|ERROR: AddressSanitizer|runtime error:|ERROR: libFuzzer' \
    "$logs/$name.log" | cut -d: -f1)
  if [ -n "$first" ]; then
    echo "--- the first sanitizer report in $name"
    tail -n +"$first" "$logs/$name.log" | head -n 60 | cut -c1-300
  fi
  echo "--- the last lines of $name"
  tail -n 25 "$logs/$name.log" | cut -c1-300
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed stages: ${failed[*]}"
fi
echo "stages: $passed passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
