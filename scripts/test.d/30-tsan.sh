# The threaded tests under ThreadSanitizer.
set -euo pipefail
cmake -S . -B build/tsan -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQUARN_SANITIZE=thread -DQUARN_TESTS=ON >/dev/null
cmake --build build/tsan -j "$QUARN_JOBS"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure -j "$QUARN_JOBS" --timeout 600 -L threads
