#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix (CMake's cross-compiling emulator).
# The program's output goes through a file: Wine's helper processes that the program starts
# (its desktop, device services) inherit its output handles and may outlive it, and a caller
# waiting for the end of a pipe (ctest, ninja) would wait for them too.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"
output="$(mktemp "${TMPDIR:-/tmp}/vmdx-wine-run.XXXXXX")"
trap 'rm -f "$output"' EXIT
wine "$@" >"$output" 2>&1 </dev/null
status=$?
cat "$output"
exit $status
