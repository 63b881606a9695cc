#!/usr/bin/env bash
# The host tool as a pipeline citizen, through scripts/vmdx: --help, exit codes 0/1/2 with the
# texts on standard error, no partial output files, Y4M streams in from standard input and out to
# standard output byte-exact (binary streams), Linux paths as they are.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
vmdx="$here/../../scripts/vmdx"
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

# --help everywhere, on standard output.
expect 0 '^usage: vmdx COMMAND' '' --help
expect 0 '^usage: vmdx frames ' '' frames --help
expect 0 '^usage: vmdx info' '' info --help
"$vmdx" --help | grep -q '^usage: scripts/vmdx' || fail "scripts/vmdx --help names the launcher"

# Usage errors: what is wrong and the usage line, exit 2, nothing on standard output.
usage='^usage: vmdx'
expect 2 '' 'unknown command nosuch' nosuch
expect 2 '' 'no command given' 
expect 2 '' "unknown option --bogus" frames --bogus
expect 2 '' "bad value for --count: 0 \\(a whole number" frames --count 0
expect 2 '' "bad value for --field: 3" frames --field 3
expect 2 '' "bad value for --format: NOPE" frames --format NOPE
expect 2 '' "--out needs a value" frames --out
expect 2 '' "unexpected argument b" frames a b
expect 2 '' "cannot go with --capture" frames --out - --capture
expect 2 '' "unknown option --fast" info --fast
expect 2 '' "$usage frames" frames --count

# Runtime failures: one line on standard error, exit 1.
printf 'P6\n4 2\n255\n' >"$work/not.y4m"
expect 1 '' "^vmdx frames: opening $work/missing.y4m failed \\(0x80070002\\): $work/missing.y4m: cannot open the file\$" \
  frames "$work/missing.y4m" --out "$work/a"
expect 1 '' "not a Y4M file" frames "$work/not.y4m" --out "$work/a"
touch "$work/file"
expect 1 '' "^vmdx frames: cannot create the folder $work/file/sub" frames builtin:progressive --out "$work/file/sub"
for f in "$work"/err; do [ "$(wc -l <"$f")" = 1 ] || fail "a runtime failure takes one line: $(cat "$f")"; done

# A file that breaks off in its third frame: two whole PNG files, then exit 1, and nothing partial.
ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -f yuv4mpegpipe "$work/three.y4m"
head -c $(($(stat -c %s "$work/three.y4m") - 100)) "$work/three.y4m" >"$work/cut.y4m"
expect 1 '' 'frame 2: GetDirectXFrame failed \(0x80070026\): .*cut.y4m: frame 2: truncated' frames "$work/cut.y4m" \
  --out "$work/cut"
[ "$(ls "$work/cut")" = "$(printf 'frame_000000.png\nframe_000001.png')" ] || fail "left behind: $(ls "$work/cut")"

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
