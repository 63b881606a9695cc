#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix (CMake's cross-compiling emulator).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"
exec wine "$@"
