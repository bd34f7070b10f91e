#!/usr/bin/env bash
# `make bench`: installs what the floors need, builds every benchmark and
# runs them all; the figures and their ratios go to build/bench/summary.md.
# Timings, not tests: nothing here fails on a figure.
set -euo pipefail
BUILD=${1:-build}

# Floors only the benchmarks use: stb_image, tinyobjloader, apitrace.
bash "$(dirname "$0")/install-deps.sh" libstb-dev libtinyobjloader-dev apitrace python3

# Reconfigured so that the benchmarks whose floors were just installed are built.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(orbelline startup_decode)
for source in bench/*_bench.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build "$BUILD" -j "${JOBS:-2}" --target "${targets[@]}"
python3 scripts/bench.py "$BUILD"
