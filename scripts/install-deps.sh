#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent: does nothing when
# everything is present, and runs `apt-get update` at most once.
set -euo pipefail

PACKAGES=(
  cmake make ninja-build g++ clang
  g++-mingw-w64-x86-64-posix          # cross compiler for the DLLs and test programs
  wine64 wine                         # runs them (Direct3D 9Ex over OpenGL)
  xvfb xauth libgl1-mesa-dri          # a display for Wine, rendered by llvmpipe
  fonts-wine fonts-liberation         # fonts for GDI and D3DX text
  googletest libbenchmark-dev         # tests and benchmarks
  libyuv-dev libswscale-dev libavutil-dev  # conversion peers measured in one process
  libopencv-core-dev                  # cv::Mat header for the matrix bridge
  libclang-rt-14-dev                  # libFuzzer and sanitizer runtimes for clang
  ffmpeg                              # test clips and the CPU peer of the GPU image processing
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
