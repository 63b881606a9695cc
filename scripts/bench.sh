#!/usr/bin/env bash
# Benchmarks of the CPU frame conversion against libyuv, swscale and memcpy (native build, one
# process). Prints Google Benchmark's table of medians, then one "ratio ..." line per pair.
# Extra arguments go to the benchmark program (for example --benchmark_filter=Rgb).
# VMDX_CPU_MASK limits the kernels' vector levels (1 SSE2, 2 SSSE3, 8 AVX2; 0 scalar only).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
REPETITIONS=${VMDX_BENCH_REPETITIONS:-5}

cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS" --target conversion_bench
# Repetitions run in random order, so a slow spell of a shared machine falls on every benchmark
# alike instead of on whichever ran during it.
build/native/bench/conversion_bench --benchmark_repetitions="$REPETITIONS" \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@"
