#!/usr/bin/env bash
# Runs a command with a display and a ready Wine prefix:
#  - starts Xvfb on a free display when DISPLAY is unset and stops exactly that one afterwards;
#  - creates the private Wine prefix on first use and keeps one wineserver for the whole command;
#  - ends that prefix's wineserver when done (never kills Wine or Xvfb processes by name).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if kill -0 "$xvfb_pid" 2>/dev/null; then export DISPLAY=":$n"; break; fi
    xvfb_pid=""
  done
  [ -n "${DISPLAY:-}" ] || { echo "with-display: could not start Xvfb" >&2; exit 1; }
fi

mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "with-display: creating Wine prefix $WINEPREFIX (first start takes a few seconds)"
  wineboot --init >/dev/null 2>&1 || true
fi
wineserver -p >/dev/null 2>&1 || true   # one server for all programs of this command
# Start Wine's desktop process now, with its output going nowhere: started later by a test
# program it would inherit that program's output pipe and keep ctest waiting for its end.
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true

"$@"
