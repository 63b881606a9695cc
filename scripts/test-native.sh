#!/usr/bin/env bash
# Native runs under AddressSanitizer and UndefinedBehaviorSanitizer: the CPU conversion library's
# tests and the media stand-in's Y4M reader tests, then bounded libFuzzer runs over the frame copy
# and over the Y4M reader with the decoder's request checks (seeded with clips made by ffmpeg).
# VMDX_FUZZ_SECONDS sets each fuzzer's time (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
FUZZ_SECONDS=${VMDX_FUZZ_SECONDS:-60}

cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize -j "$JOBS" --target conversion_tests y4m_reader_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset native-sanitize

cmake --preset native-fuzz >/dev/null
cmake --build --preset native-fuzz -j "$JOBS" --target conversion_fuzz y4m_fuzz

# Seeds of the Y4M fuzzer: small real clips in every colour space the reader knows (odd sizes,
# 10 to 16 bits, alpha, mono, interlaced, full range), each behind the fuzzer's 8-byte request
# prefix, once read as a file with a request and once as a stream without one.
y4m_seeds=build/native-fuzz/y4m-seeds
if [ ! -f "$y4m_seeds/.complete" ]; then
  mkdir -p "$y4m_seeds"
  n=0
  for clip in "yuv420p 7 5" "yuv420p10le 6 4" "yuv422p 7 5" "yuv422p10le 8 6" "yuv444p 8 6" \
              "yuv444p12le 6 4" "yuva444p 6 4" "gray 5 3" "gray16le 6 4" "yuv420p 8 6 -field_order tt" \
              "yuv422p 6 4 -color_range pc"; do
    set -- $clip
    fmt=$1 w=$2 h=$3
    shift 3
    ffmpeg -v error -y -f lavfi -i testsrc2=size=16x16:rate=25 -vf "scale=$w:$h" -frames:v 2 -pix_fmt "$fmt" "$@" \
      -strict -1 -f yuv4mpegpipe "$y4m_seeds/clip.y4m"
    { printf "\x0e\x01\x01\x00\\x$(printf %02x "$w")\x00\\x$(printf %02x "$h")\x00"; cat "$y4m_seeds/clip.y4m"; } \
      >"$y4m_seeds/file$n"
    { printf '\x11\x00\x00\x00\x00\x00\x00\x00'; cat "$y4m_seeds/clip.y4m"; } >"$y4m_seeds/stream$n"
    n=$((n + 1))
  done
  rm "$y4m_seeds/clip.y4m"
  touch "$y4m_seeds/.complete"
fi

# fuzz NAME CORPUS [SEEDS]: a bounded run; grep hides libFuzzer's progress lines, its exit status
# is the verdict.
fuzz() {
  local name=$1 corpus=$2
  shift 2
  mkdir -p "$corpus"
  echo "fuzzing $name for ${FUZZ_SECONDS} s"
  "$@" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" ${seeds:-} 2>&1 |
    grep -E '^(Done|stat::number_of_executed_units|==|SUMMARY|INFO: Running|rejection)' || true
  test "${PIPESTATUS[0]}" -eq 0
}
seeds="" fuzz "the frame copy" build/native-fuzz/corpus build/native-fuzz/tests/media/conversion_fuzz
seeds="$y4m_seeds" fuzz "the Y4M reader and decoder requests" build/native-fuzz/y4m-corpus \
  build/native-fuzz/tests/framework/y4m_fuzz
