#!/usr/bin/env bash
# GPU image processing under Wine (build/bin/imaging_bench.exe) beside ffmpeg's CPU filters on the
# same frames: an interlaced 4:2:2 clip per size, made here with ffmpeg. For each size it prints
# the Windows program's table, ffmpeg's frames per second, and "ratio <ours> vs <peer>: X" lines
# (time of ours / time of the peer: below 1 ours is faster).
#   ffmpeg separatefields,weave   reading the clip and both filters, per frame: the peer of our
#                                 upload + split + weave
#   ffmpeg filters alone          the same minus a run with no filter (reading the clip alone): the
#                                 peer of our split + weave on a texture already on the GPU
# ffmpeg's time per frame is the slope between runs over the looped clip processing P and 2P frames,
# so its start-up drops out; each run is repeated VMDX_BENCH_REPETITIONS times (default 5), with and
# without the filters interleaved, and medians are taken. Assumes the Windows build exists (make
# bench builds it first).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=$(cd "${BUILD_DIR:-build}" && pwd)
runs=${VMDX_BENCH_REPETITIONS:-5}
clips_dir="$BUILD_DIR/bench-clips"
mkdir -p "$clips_dir"

# size:frames in the file:plays of the file in ffmpeg's shorter run (the longer one plays it twice as often)
sizes=("1920x1080:16:12" "3840x2160:8:6")
clips=()
for entry in "${sizes[@]}"; do
  IFS=: read -r size frames _ <<<"$entry"
  clip="$clips_dir/interlaced_$size.y4m"
  [ -s "$clip" ] || ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=s=$size:r=50" -frames:v "$frames" \
    -vf interlace=scan=tff -pix_fmt yuv422p -f yuv4mpegpipe -y "$clip"
  clips+=("$clip")
done

ours="$(mktemp)"
trap 'rm -f "$ours"' EXIT
VMDX_BUILD_DIR="$BUILD_DIR" scripts/with-display.sh wine "$BUILD_DIR/bin/imaging_bench.exe" "${clips[@]}" \
  >"$ours" 2>&1 </dev/null || { cat "$ours"; exit 1; }
grep -v '^median ' "$ours" | tr -d '\r'

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds_of() {  # seconds_of <clip> <loops> <filter>
  local start end
  start=$(date +%s.%N)
  ffmpeg -hide_banner -loglevel error -stream_loop "$2" -i "$1" -vf "$3" -f null -
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
ours_of() { awk -v k="$1" -v s="$2" '$1 == "median" && $2 == k && $3 == s { print $4 }' "$ours" | tr -d '\r'; }

echo "ffmpeg $(ffmpeg -version | head -1 | cut -d' ' -f3) on the CPU, same frames (median of $runs runs)"
for i in "${!sizes[@]}"; do
  IFS=: read -r size frames plays <<<"${sizes[$i]}"
  clip=${clips[$i]} processed=$((frames * plays)) short=$((plays - 1)) long=$((2 * plays - 1))
  with="" without=""
  for _ in $(seq "$runs"); do
    a=$(seconds_of "$clip" "$short" separatefields,weave) b=$(seconds_of "$clip" "$long" separatefields,weave)
    c=$(seconds_of "$clip" "$short" null) d=$(seconds_of "$clip" "$long" null)
    with+="$(echo "($b - $a) / $processed" | bc -l)"$'\n'
    without+="$(echo "($d - $c) / $processed" | bc -l)"$'\n'
  done
  per_frame=$(echo -n "$with" | median)
  filters=$(echo "$per_frame - $(echo -n "$without" | median)" | bc -l)
  positive() { [ "$(echo "$1 > 0" | bc -l)" = 1 ]; }
  rate() { if positive "$1"; then printf '%8.1f' "$(echo "1 / $1" | bc -l)"; else printf '%8s' 'n/a'; fi; }
  printf '  %-10s ffmpeg separatefields,weave %s frames/s   filters alone %s frames/s\n' "$size" "$(rate "$per_frame")" \
    "$(rate "$filters")"
  split=$(ours_of split-weave "$size")
  upload=$(ours_of upload-split-weave "$size")
  if [ -n "$split" ] && positive "$filters"; then
    printf 'ratio gpu split+weave vs ffmpeg filters alone %s: %.2f\n' "$size" "$(echo "$split / $filters" | bc -l)"
  fi
  if [ -n "$upload" ] && positive "$per_frame"; then
    printf 'ratio upload+gpu split+weave vs ffmpeg separatefields,weave %s: %.2f\n' "$size" \
      "$(echo "$upload / $per_frame" | bc -l)"
  fi
done
