# The whole suite in a normal build.
set -euo pipefail
cmake -S . -B build/native -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON -DQUARN_BENCH=ON >/dev/null
cmake --build build/native -j "$QUARN_JOBS"
ctest --test-dir build/native --output-on-failure -j "$QUARN_JOBS" --timeout 300
