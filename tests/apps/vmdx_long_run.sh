#!/usr/bin/env bash
# The long run: 3,000 frames of a generated clip piped through a vmdx command with --leak-check
# (private bytes after frame 100 and after the last within 5 MB, no open module object, the
# device's last release 0; apps/vmdx/LeakCheck.h). The command comes from the arguments, e.g.
#   vmdx_long_run.sh frames - --discard
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
frames=3000
log="$(mktemp "${TMPDIR:-/tmp}/vmdx-long-run.XXXXXX")"
trap 'rm -f "$log"' EXIT

ffmpeg -v error -f lavfi -i testsrc2=size=640x360:rate=25 -frames:v "$frames" -f yuv4mpegpipe - |
  "$here/../../scripts/vmdx" "$@" --leak-check 2>"$log"
status=${PIPESTATUS[1]}
cat "$log"
[ "$status" = 0 ] || { echo "FAILED: vmdx $* exited $status"; exit 1; }
grep -q "^$frames frames\$" "$log" || { echo "FAILED: not $frames frames"; exit 1; }
grep -q '^leak check: .*: passed$' "$log" || { echo "FAILED: no passed leak check"; exit 1; }
echo "long run: $frames frames, leak check passed"
