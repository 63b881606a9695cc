# Sourced by the run scripts: one private Wine prefix inside the build folder.
: "${VMDX_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$VMDX_BUILD_DIR/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Never offer to install Wine's .NET or HTML engines: nobody can answer under Xvfb.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
