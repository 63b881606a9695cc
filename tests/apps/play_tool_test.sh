#!/usr/bin/env bash
# vmdx play end to end on clips made by ffmpeg: the captures of a 4:2:2 clip match the source
# (PSNR against the source converted to RGB, at the clip's size and scaled down), a clip piped
# through standard input plays, and a clip cut short stops at the damaged frame with the frames
# before it written. Runs under the test display (scripts/with-display.sh).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin="$1"
work="$bin/vmdx-play-test"
rm -rf "$work" && mkdir -p "$work"
run() { "$root/scripts/wine-run.sh" "$bin/vmdx.exe" play "$@"; }
fail() { echo "FAILED: $*"; exit 1; }

# Average PSNR (dB) of the captures against the source in RGB, scaled to the captures' size.
psnr() {  # captures-folder width height frames
  ffmpeg -v info -i "$1/frame_%06d.png" -i "$work/clip.y4m" -frames:v "$4" \
    -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24,scale=$2:$3:flags=area[b];[a][b]psnr" -f null - 2>&1 |
    grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2
}
at_least() { awk -v v="$1" -v m="$2" 'BEGIN { exit !(v == "inf" || v + 0 >= m) }'; }

ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -pix_fmt yuv422p -f yuv4mpegpipe "$work/clip.y4m" ||
  fail "ffmpeg could not make the clip"

run "$work/clip.y4m" --frames 20 --fast --capture "$work/same" || fail "play at the clip's size"
[ "$(ls "$work/same" | wc -l)" = 20 ] || fail "expected 20 captures"
value="$(psnr "$work/same" 320 240 20)"
echo "PSNR at 320x240: $value dB"
at_least "$value" 35 || fail "captures at the clip's size differ from the source ($value dB)"

run "$work/clip.y4m" --frames 10 --fast --size 160x120 --capture "$work/half" --every 3 || fail "play scaled"
[ "$(ls "$work/half" | tr '\n' ' ')" = "frame_000000.png frame_000003.png frame_000006.png frame_000009.png " ] ||
  fail "--every 3 wrote $(ls "$work/half" | tr '\n' ' ')"
value="$(psnr "$work/half" 160 120 1)"
echo "PSNR at 160x120: $value dB"
at_least "$value" 35 || fail "captures scaled to 160x120 differ from the source ($value dB)"

out="$(ffmpeg -v error -f lavfi -i testsrc2=size=160x96:rate=30 -t 0.5 -pix_fmt yuv420p -f yuv4mpegpipe - |
  wine "$bin/vmdx.exe" play - --fast 2>&1)" || fail "play from standard input: $out"
echo "$out" | grep -q "15 frames in" || fail "standard input: $out"

# A side-by-side stereo clip made by ffmpeg plays in every view type, flat and as a sphere.
ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -filter_complex "[0:v]split[l][r];[r]hflip[rf];[l][rf]hstack" \
  -t 0.2 -pix_fmt yuv422p -f yuv4mpegpipe "$work/sbs.y4m" || fail "ffmpeg could not make the stereo clip"
for camera in flat sphere; do
  for view in plain left right anaglyph contrast dubois-rc dubois-gm dubois-ab; do
    run "$work/sbs.y4m" --fast --packing lr --camera "$camera" --view "$view" --capture "$work/sbs-$camera-$view" \
      >/dev/null 2>&1 || fail "the side-by-side clip in the $camera $view view"
    [ "$(ls "$work/sbs-$camera-$view" | wc -l)" = 5 ] || fail "$camera $view: not five captures"
  done
done

head -c 700000 "$work/clip.y4m" > "$work/short.y4m"  # four whole frames and part of a fifth
out="$(run "$work/short.y4m" --fast --capture "$work/short" 2>&1)" && fail "a clip cut short played to the end"
echo "$out" | grep -q "frame 4 of short.y4m cannot be decoded" || fail "no message naming frame 4: $out"
[ "$(ls "$work/short" | wc -l)" = 4 ] || fail "the four frames before the damage were not all shown"
echo "vmdx play: all cases passed"
