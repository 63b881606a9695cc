#!/usr/bin/env bash
# vmdx lens end to end on the built-in fisheye clip: its Y4M stream on standard output is taken
# by ffmpeg's encoder frame for frame, and --map-out leaves a whole map file.
# Usage: lens-stream-test.sh <build/bin> <lens file>  (run inside scripts/with-display.sh)
set -euo pipefail
bin="$1"
lens="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)"
source "$here/wine-env.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/vmdx-lens-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$bin"
# Through a file rather than a pipe: Wine's helper processes may hold a pipe open after the end.
wine vmdx.exe lens builtin:fisheye --lens "$lens" --size 320x180 --count 3 --interp cubic \
  --map-out "$(winepath -w "$work/map.rg32f")" --out - >"$work/view.y4m" 2>"$work/messages.txt" </dev/null
head -c 64 "$work/view.y4m" | head -n 1 | grep -q '^YUV4MPEG2 W320 H180 F25:1 Ip A1:1 C420jpeg XCOLORRANGE=FULL$'
ffmpeg -nostdin -v error -f yuv4mpegpipe -i "$work/view.y4m" -c:v libx264 -y "$work/view.mp4"
frames="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/view.mp4")"
[ "$frames" = 3 ] || { echo "encoded $frames frames, expected 3"; exit 1; }
[ "$(head -n 1 "$work/map.rg32f")" = "RG32F 320 180" ]
[ "$(stat -c %s "$work/map.rg32f")" = $((14 + 320 * 180 * 8)) ]
[ ! -e "$work/map.rg32f.partial" ]
echo "vmdx lens: 3 frames encoded from the Y4M stream, map file whole"
