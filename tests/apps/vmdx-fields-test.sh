#!/usr/bin/env bash
# End-to-end checks of the host tool with clips made by ffmpeg at test time, run from build/bin:
#   stdin       a bottom-field-first 4:2:2 clip piped into `vmdx fields -`, every frame woven back
#               exactly and its PNG files written; the same clip through `--out -`, whose luma
#               must equal the clip's; a top-field-first 10-bit clip, woven back exactly.
#   gpu-unpack  `vmdx frames` with and without --gpu-unpack write identical PNG files.
# Wine's output goes through files, so helper processes never hold ctest's pipe.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/wine-env.sh"
work="vmdx-fields-test/$1"
rm -rf "$work" && mkdir -p "$work"
log="$work/log.txt"

fail() { echo "FAILED: $*"; cat "$log"; exit 1; }
clip() {  # clip <file> <size> <scan> <pixel format> <frames>
  ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=s=$2:r=50" -frames:v "$5" -vf "interlace=scan=$3" \
    -pix_fmt "$4" -strict -1 -f yuv4mpegpipe -y "$1"
}
luma() { ffmpeg -hide_banner -loglevel error -i "$1" -vf extractplanes=y -f rawvideo - | md5sum | cut -d' ' -f1; }

case "$1" in
  stdin)
    clip "$work/bff.y4m" 720x576 bff yuv422p 6
    wine ./vmdx.exe fields - --out "$work/png" <"$work/bff.y4m" >"$log" 2>&1 || fail "vmdx fields - (exit $?)"
    grep -q "bottom field first" "$log" || fail "field order not reported"
    grep -q "every frame woven back exactly (6 of 6)" "$log" || fail "not every frame woven back exactly"
    for n in 000000 000005; do
      for part in top bottom woven; do [ -s "$work/png/frame_${n}_$part.png" ] || fail "no frame_${n}_$part.png"; done
    done
    wine ./vmdx.exe fields "$work/bff.y4m" --out - >"$work/woven.y4m" 2>"$log" || fail "vmdx fields --out - (exit $?)"
    [ "$(luma "$work/woven.y4m")" = "$(luma "$work/bff.y4m")" ] || fail "the woven Y4M's luma differs from the clip's"
    clip "$work/tff10.y4m" 352x288 tff yuv422p10le 3
    wine ./vmdx.exe fields "$work/tff10.y4m" --out "$work/png10" >"$log" 2>&1 || fail "10-bit clip (exit $?)"
    grep -q "every frame woven back exactly (3 of 3)" "$log" || fail "10-bit clip not woven back exactly"
    ;;
  gpu-unpack)
    wine ./vmdx.exe frames builtin:interlaced --count 3 --out "$work/cpu" >"$log" 2>&1 || fail "frames (exit $?)"
    wine ./vmdx.exe frames builtin:interlaced --count 3 --out "$work/gpu" --gpu-unpack >"$log" 2>&1 ||
      fail "frames --gpu-unpack (exit $?)"
    for n in 000000 000001 000002; do
      cmp -s "$work/cpu/frame_$n.png" "$work/gpu/frame_$n.png" || fail "frame_$n.png differs between the two unpacks"
    done
    ;;
  *) echo "usage: $0 stdin | gpu-unpack"; exit 2 ;;
esac
echo "passed: $1"
