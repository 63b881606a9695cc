#!/usr/bin/env bash
# Native runs of the CPU conversion library: its tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a bounded libFuzzer run over the frame copy.
# VMDX_FUZZ_SECONDS sets the fuzzing time (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
FUZZ_SECONDS=${VMDX_FUZZ_SECONDS:-60}

cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize -j "$JOBS" --target conversion_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset native-sanitize

cmake --preset native-fuzz >/dev/null
cmake --build --preset native-fuzz -j "$JOBS" --target conversion_fuzz
corpus=build/native-fuzz/corpus
mkdir -p "$corpus"
echo "fuzzing the frame copy for ${FUZZ_SECONDS} s"
build/native-fuzz/tests/media/conversion_fuzz -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 \
  -print_final_stats=1 "$corpus" 2>&1 | grep -E '^(Done|stat::number_of_executed_units|==|SUMMARY|INFO: Running)' || true
# grep hides libFuzzer's progress lines; its exit status is the verdict.
test "${PIPESTATUS[0]}" -eq 0
