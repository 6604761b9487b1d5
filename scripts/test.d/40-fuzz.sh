# A short libFuzzer run (ASan + UBSan) of the PE resource reader, of the
# page-tail analysis and of the readers of the manifest and the plan, from seeds that
# fuzz_seeds writes. QUARN_FUZZ_SECONDS sets each run's length.
set -euo pipefail
seconds=${QUARN_FUZZ_SECONDS:-30}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQUARN_FUZZ=ON \
  -DQUARN_SANITIZE=address -DQUARN_TESTS=OFF -DQUARN_UI=OFF >/dev/null
cmake --build "$dir" -j "$QUARN_JOBS" --target fuzz_pe_resources fuzz_page_tail fuzz_manifest fuzz_plan fuzz_seeds
rm -rf "$dir/corpus"
mkdir -p "$dir/corpus/pe" "$dir/corpus/page" "$dir/corpus/manifest" "$dir/corpus/plan"
"$dir/fuzz/fuzz_seeds" "$dir/corpus/pe" "$dir/corpus/page" "$dir/corpus/manifest" "$dir/corpus/plan"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$dir/fuzz/fuzz_pe_resources" -max_total_time="$seconds" -max_len=16384 -print_final_stats=1 "$dir/corpus/pe"
"$dir/fuzz/fuzz_page_tail" -max_total_time="$seconds" -max_len=512 -print_final_stats=1 "$dir/corpus/page"
"$dir/fuzz/fuzz_manifest" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$dir/corpus/manifest"
"$dir/fuzz/fuzz_plan" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$dir/corpus/plan"
