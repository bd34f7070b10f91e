#!/usr/bin/env bash
# Runs the application: in a window where there is a display, otherwise the
# headless scripted demo, whose PNGs go to build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/orbelline "$@"
fi
mkdir -p build/demo
echo "No display: playing the headless demo (assets/demo.script)."
build/bin/orbelline --headless --seed 1700000000 --script assets/demo.script --out build/demo "$@"
echo "Frames written to $(pwd)/build/demo/:"
ls -1 build/demo/*.png | sed 's/^/  /'
echo "Trace log: $(pwd)/build/bundle/Data/Orbelline.log"
