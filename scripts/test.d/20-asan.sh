# The whole suite under AddressSanitizer with UBSan.
set -euo pipefail
cmake -S . -B build/asan -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQUARN_SANITIZE=address -DQUARN_TESTS=ON >/dev/null
cmake --build build/asan -j "$QUARN_JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$QUARN_JOBS" --timeout 600
