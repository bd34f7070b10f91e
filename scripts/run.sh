#!/usr/bin/env bash
# Runs the application: in a window where there is a display, otherwise the
# headless scripted demo, whose pictures go to build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/orbelline "$@"
fi
out=build/demo
rm -rf "$out" && mkdir -p "$out"
echo "No display: playing the headless demo (assets/demo.script) on the simulated clock."
build/bin/orbelline --headless --seed 1700000000 --script assets/demo.script --out "$out" "$@" 2>"$out/trace.txt" || {
  cat "$out/trace.txt" >&2
  exit 1
}
# The frames are the phone's portrait drawable; turn them upright.
if command -v convert >/dev/null 2>&1; then
  for f in "$out"/[0-9]-*.png; do convert "$f" -rotate 90 "$f"; done
  convert -delay 120 -loop 0 "$out"/[0-9]-*.png "$out/turn.gif" 2>/dev/null || true
fi
echo "Pictures of the turn in $(pwd)/$out/:"
ls -1 "$out" | grep -E '\.(png|gif)$' | sed 's/^/  /'
echo "Trace log: $(pwd)/build/bundle/Data/Orbelline.log"
