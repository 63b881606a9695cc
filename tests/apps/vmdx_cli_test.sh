#!/usr/bin/env bash
# The host tool as a pipeline citizen, through scripts/vmdx, for every command: --help, exit codes
# 0/1/2 with the texts on standard error, one-line failures, no partial output files, Y4M streams
# in from standard input and out to standard output (binary, sample-exact), Linux paths as they are.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
vmdx="$here/../../scripts/vmdx"
lens="$here/../../apps/vmdx/lenses/fisheye180-view90.lens"
work="$(mktemp -d "${TMPDIR:-/tmp}/vmdx-cli.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# expect CODE STDOUT-PATTERN STDERR-PATTERN ARGS...: exit code, and a pattern each stream must
# match ("" for a stream that must stay empty, "*" for anything).
expect() {
  local code=$1 out=$2 err=$3
  shift 3
  "$vmdx" "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  [ "$got" = "$code" ] || fail "vmdx $* exited $got, not $code: $(head -c 300 "$work/err")"
  for stream in out err; do
    local pattern=${out}
    [ "$stream" = err ] && pattern=$err
    if [ -z "$pattern" ]; then
      [ ! -s "$work/$stream" ] || fail "vmdx $*: standard $stream should be empty: $(head -c 300 "$work/$stream")"
    elif [ "$pattern" != "*" ]; then
      grep -qE -- "$pattern" "$work/$stream" || fail "vmdx $*: standard $stream lacks /$pattern/: $(head -c 300 "$work/$stream")"
    fi
  done
}
one_line() { [ "$(wc -l <"$work/err")" = 1 ] || fail "$1: a runtime failure takes one line: $(cat "$work/err")"; }
frames_of() { ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1" 2>/dev/null; }

# Clips made by ffmpeg: three frames, the same cut short in its third frame, and a plain colour at
# an odd size (the CPU conversion works on pixel pairs; the last column must still be converted).
ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -f yuv4mpegpipe "$work/three.y4m"
head -c $(($(stat -c %s "$work/three.y4m") - 100)) "$work/three.y4m" >"$work/cut.y4m"
ffmpeg -v error -y -f lavfi -i color=c=0x3366cc:s=64x36:r=25 -frames:v 2 -vf format=yuv444p,crop=63:35:0:0 \
  -f yuv4mpegpipe "$work/plain.y4m"
printf 'P6\n4 2\n255\n' >"$work/not.y4m"
touch "$work/file"

# Every command: --help on standard output, an unknown option is a usage error.
for command in info frames lens fields play; do
  expect 0 "^usage: vmdx $command" '' $command --help
  expect 2 '' "unknown option --bogus" $command --bogus
  grep -q "^usage: vmdx $command" "$work/err" || fail "$command --bogus: no usage line: $(cat "$work/err")"
done

# The player: a missing input or one that is no Y4M file is one line and exit 1, before any window.
expect 1 '' "^vmdx play: opening missing.y4m failed \\(0x80070002\\)" play "$work/missing.y4m" --fast
one_line "play, missing input"
expect 1 '' "not a Y4M file" play "$work/not.y4m" --fast
expect 2 '' "bad value for --view" play "$work/three.y4m" --view sideways

# The commands that make frames, each with the options of a small run and the files a frame gives.
# Every check below runs for every row.
rows=(
  "frames||1"
  "lens|--lens $lens --size 47x31 --border clamp|1"
  "fields||3"
)
for row in "${rows[@]}"; do
  IFS='|' read -r command options files <<<"$row"
  # A missing input, an input that is no Y4M file, an output folder that cannot be made: one line, exit 1.
  expect 1 '' "^vmdx $command: opening $work/missing.y4m failed \\(0x80070002\\): $work/missing.y4m: cannot open the file\$" \
    $command "$work/missing.y4m" $options --out "$work/a"
  one_line "$command, missing input"
  expect 1 '' "not a Y4M file" $command "$work/not.y4m" $options --out "$work/a"
  expect 1 '' "^vmdx $command: cannot create the folder $work/file/sub" $command "$work/three.y4m" $options \
    --out "$work/file/sub"
  one_line "$command, unwritable folder"
  # A file that breaks off in its third frame: the first two frames' files whole, then exit 1.
  expect 1 '' "frame 2: GetDirectXFrame failed \\(0x80070026\\): .*cut.y4m: frame 2: truncated" $command \
    "$work/cut.y4m" $options --out "$work/cut-$command"
  [ "$(ls "$work/cut-$command" | grep -c '^frame_00000[01].*\.png$')" = $((2 * files)) ] &&
    [ "$(ls "$work/cut-$command" | wc -l)" = $((2 * files)) ] || fail "$command left behind: $(ls "$work/cut-$command")"
  # A Y4M stream from ffmpeg on standard input, read to its end, and one on standard output that
  # ffmpeg reads whole: standard output carries nothing else.
  ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -f yuv4mpegpipe - |
    "$vmdx" $command - $options --out - 2>"$work/err" | ffmpeg -v error -y -f yuv4mpegpipe -i - -c:v ffv1 "$work/$command.mkv"
  [ "${PIPESTATUS[1]}" = 0 ] || fail "$command - --out -: $(cat "$work/err")"
  [ "$(frames_of "$work/$command.mkv")" = 3 ] || fail "$command - --out -: ffmpeg read $(frames_of "$work/$command.mkv") frames"
  # Every PNG file of a plain odd-sized clip holds that one colour, the last column too.
  "$vmdx" $command "$work/plain.y4m" $options --out "$work/plain-$command" 2>"$work/err" ||
    fail "$command plain.y4m: $(cat "$work/err")"
  for png in "$work/plain-$command"/*.png; do
    colours="$(ffmpeg -v error -i "$png" -f rawvideo -pix_fmt rgb24 - | od -An -v -tx1 -w3 | sort -u)"
    [ "$colours" = " 32 66 ca" ] || fail "$png: not one colour 32 66 ca: $(echo "$colours" | head -3 | tr '\n' ,)"
  done
done

# Usage errors of single options: what is wrong and the usage line, exit 2, nothing on standard output.
expect 2 '' 'unknown command nosuch' nosuch
expect 2 '' 'no command given'
expect 2 '' "bad value for --count: 0 \\(a whole number" frames --count 0
expect 2 '' "bad value for --field: 3" frames --field 3
expect 2 '' "bad value for --format: NOPE" frames --format NOPE
expect 2 '' "--out needs a value" frames --out
expect 2 '' "unexpected argument b" frames a b
expect 2 '' "cannot go with --capture" frames --out - --capture
expect 2 '' "bad value for --interp: sharp" lens builtin:fisheye --lens "$lens" --interp sharp
expect 2 '' "bad value for --size: 0x5" lens builtin:fisheye --lens "$lens" --size 0x5
expect 2 '' "--lens FILE is required" lens builtin:fisheye
expect 2 '' "bad value for --count: -1" fields --count -1
expect 2 '' "unexpected argument extra" info extra
expect 1 '' "^vmdx lens: $work/missing.lens" lens builtin:fisheye --lens "$work/missing.lens"
expect 1 '' "^vmdx lens: cannot write $work/file/map" lens "$work/three.y4m" --lens "$lens" --size 8x8 \
  --map-out "$work/file/map" --out "$work/map-png"
"$vmdx" --help | grep -q '^usage: scripts/vmdx' || fail "scripts/vmdx --help names the launcher"

# The pipeline of the README: frames from standard input into PNG files.
ffmpeg -v quiet -f lavfi -i testsrc2=size=640x360:rate=25 -t 2 -f yuv4mpegpipe - |
  "$vmdx" frames - --count 10 --out "$work/png" 2>"$work/err"
[ "${PIPESTATUS[1]}" = 0 ] || fail "frames - --count 10: $(cat "$work/err")"
[ "$(ls "$work/png" | wc -l)" = 10 ] || fail "frames - --count 10 wrote $(ls "$work/png" | wc -l) files"

# Y4M through the GPU and back, sample for sample: 4:4:4 in 8 and 10 bits with noise (so every
# byte value occurs, carriage returns and end-of-file marks among them), on standard input and
# output. 10-bit samples come back at 16 bits (shifted up by 6).
for fmt in yuv444p:444:1 yuv444p10le:444p16:64; do
  IFS=: read -r pix cs scale <<<"$fmt"
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=96x54:rate=25,noise=alls=80:allf=t" -frames:v 5 -pix_fmt "$pix" -strict -1 \
    -f yuv4mpegpipe "$work/in.y4m"
  "$vmdx" frames - --out - <"$work/in.y4m" >"$work/out.y4m" 2>"$work/err" || fail "frames - --out - ($pix): $(cat "$work/err")"
  head -1 "$work/out.y4m" | grep -q "^YUV4MPEG2 W96 H54 F25:1 Ip A1:1 C$cs XCOLORRANGE=LIMITED$" ||
    fail "stream header ($pix): $(head -1 "$work/out.y4m")"
  grep -q '^5 frames$' "$work/err" || fail "messages go to standard error ($pix): $(cat "$work/err")"
  width=1
  [ "$scale" = 64 ] && width=2
  ffmpeg -v error -y -i "$work/in.y4m" -f rawvideo -c:v rawvideo "$work/in.raw"
  ffmpeg -v error -y -i "$work/out.y4m" -f rawvideo -c:v rawvideo "$work/out.raw"
  paste -d' ' <(od -An -v -tu$width -w$width "$work/in.raw") <(od -An -v -tu$width -w$width "$work/out.raw") |
    awk -v s="$scale" '$1 * s != $2 { bad++ } END { exit !(NR == 96 * 54 * 3 * 5 && bad == 0) }' ||
    fail "samples changed on the way through the GPU ($pix)"
done

[ "$failures" = 0 ] && echo "vmdx command line: all checks passed"
exit $((failures > 0))
