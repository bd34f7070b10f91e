#!/usr/bin/env bash
# Runs the application: in a window where there is a display, otherwise the
# headless scripted demo.
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bin/orbelline "$@"
