#!/usr/bin/env bash
# `make bench`: installs what the floors need, builds every benchmark and
# runs them all; the figures and their ratios go to build/bench/summary.md.
# Timings, not tests: nothing here fails on a figure.
set -euo pipefail
BUILD=${1:-build}

# Floors only the benchmarks use: stb_image, tinyobjloader, apitrace.
PACKAGES=(libstb-dev libtinyobjloader-dev apitrace libbenchmark-dev xvfb xauth python3)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Reconfigured so that the benchmarks whose floors were just installed are built.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(orbelline startup_decode)
for source in bench/*_bench.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build "$BUILD" -j "${JOBS:-2}" --target "${targets[@]}"
python3 scripts/bench.py "$BUILD"
