#!/usr/bin/env bash
# The display program beside ffmpeg's v360 on the same frames, in interleaved rounds. Each round
# runs display_program_bench (3840x1920 frames of the built-in sphere uploaded, set up, drawn into
# a 1920x1080 view and read back: plain eye, red-cyan anaglyph, contrast mix) and then v360
# (equirectangular to flat, 90 degrees wide, 1920x1080, bilinear) on the same frames, once as RGB
# planes (gbrp: the frames' own colours) and once as yuv420p (what most video carries).
# v360's time per frame is the slope between a short and a long run, so ffmpeg's start-up and the
# map v360 builds once fall out. Prints medians over the rounds and "ratio <ours> vs <peer>: X"
# lines, X our time per frame over the peer's (below 1: ours is faster).
# The player itself, `vmdx play --fast` on the same frames as a Y4M clip in a 1920x1080 window,
# is timed the same way (the slope between a short and a long run).
# Runs under scripts/with-display.sh (make bench does); ROUNDS=n changes the number of rounds.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${VMDX_BUILD_DIR:-$here/../build}"
rounds="${ROUNDS:-5}"
work="$build/bench-display"
bench="$build/bin/display_program_bench.exe"
mkdir -p "$work"

frames="$work/sphere_3840x1920.bgra"
wine "$bench" --rounds 1 --write-frames "$frames" >/dev/null
for format in gbrp yuv420p; do
  ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt bgra -s 3840x1920 -i "$frames" -pix_fmt "$format" \
    -f rawvideo "$work/sphere.$format"
done

# The same frames as a Y4M clip for vmdx play (16 frames: the 4 frames four times).
ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt bgra -s 3840x1920 -stream_loop 3 -i "$frames" \
  -pix_fmt yuv444p -f yuv4mpegpipe "$work/sphere.y4m"

# Seconds vmdx play takes for the first n frames of the clip in a 1920x1080 window, as fast as it
# goes (its own count from the first picture on: decode, upload, display program, present).
play_seconds() {
  wine "$build/bin/vmdx.exe" play "$work/sphere.y4m" --fast --frames "$2" --camera sphere --view "$1" \
    --size 1920x1080 2>&1 | sed -n 's/.* frames in \([0-9.]*\) s.*/\1/p'
}
play_ms() {
  local short long
  short=$(play_seconds "$1" 4)
  long=$(play_seconds "$1" 16)
  awk -v a="$short" -v b="$long" 'BEGIN { printf "%.3f", (b - a) * 1000 / 12 }'
}

# Seconds of one v360 run over the 4 frames, played 1 + loops times.
v360_seconds() {
  ffmpeg -nostdin -hide_banner -benchmark -f rawvideo -pix_fmt "$1" -s 3840x1920 -stream_loop "$2" \
    -i "$work/sphere.$1" -vf v360=input=e:output=flat:h_fov=90:v_fov=58.72:w=1920:h=1080:interp=linear \
    -f null - 2>&1 | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p'
}
v360_ms() {
  local short long
  short=$(v360_seconds "$1" 1)
  long=$(v360_seconds "$1" 11)
  awk -v a="$short" -v b="$long" 'BEGIN { printf "%.3f", (b - a) * 1000 / 40 }'
}

results="$work/results.txt"
: >"$results"
for round in $(seq "$rounds"); do
  wine "$bench" --rounds 7 | sed -n 's/^median-ms \([^ ]*\) \(.*\)/\1 \2/p' >>"$results"
  echo "play-sphere-eye $(play_ms plain)" >>"$results"
  echo "play-sphere-anaglyph $(play_ms anaglyph)" >>"$results"
  echo "play-sphere-contrast $(play_ms contrast)" >>"$results"
  echo "v360-bilinear $(v360_ms gbrp)" >>"$results"
  echo "v360-bilinear-yuv420p $(v360_ms yuv420p)" >>"$results"
  echo "bench-display: round $round of $rounds" >&2
done

median() { awk -v c="$1" '$1 == c { print $2 }' "$results" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "Display program vs ffmpeg v360 on the same 3840x1920 sphere frames, 1920x1080 view; medians of $rounds rounds"
printf "%-24s %9s %9s\n" case ms/frame frames/s
for c in play-sphere-eye play-sphere-anaglyph play-sphere-contrast sphere-eye sphere-anaglyph sphere-contrast \
  sphere-eye-draw sphere-anaglyph-draw sphere-contrast-draw v360-bilinear v360-bilinear-yuv420p; do
  m=$(median "$c")
  awk -v c="$c" -v m="$m" 'BEGIN { printf "%-24s %9.1f %9.1f\n", c, m, 1000 / m }'
done
for c in play-sphere-eye play-sphere-anaglyph play-sphere-contrast sphere-eye sphere-anaglyph sphere-contrast; do
  for p in v360-bilinear v360-bilinear-yuv420p; do
    awk -v c="$c" -v p="$p" -v a="$(median "$c")" -v b="$(median "$p")" 'BEGIN { printf "ratio %s vs %s: %.2f\n", c, p, a / b }'
  done
done
