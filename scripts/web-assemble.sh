#!/usr/bin/env bash
# Gathers the browser build into a folder of static files:
#   scripts/web-assemble.sh WASM_BUILD NATIVE_BUILD OUT
# the page, its script and service worker, the program (.js, .wasm), the
# native build's resource pack, and the icons.
set -euo pipefail
if [ "${1:-}" = "--help" ] || [ $# -ne 3 ]; then
  echo "usage: scripts/web-assemble.sh WASM_BUILD NATIVE_BUILD OUT"
  [ "${1:-}" = "--help" ] && exit 0 || exit 2
fi
wasm="$1" native="$2" out="$3"
here="$(cd "$(dirname "$0")/.." && pwd)"
page="$here/platform/web/page"
pack="$native/bundle/Data/Orbelline.res.pak"
for f in "$wasm/bin/orbelline.js" "$wasm/bin/orbelline.wasm" "$pack" "$native/art/icon-192.png" "$native/art/icon-512.png"; do
  [ -f "$f" ] || { echo "web-assemble: $f is missing" >&2; exit 1; }
done
rm -rf "$out.new"
mkdir -p "$out.new"
cp "$page/index.html" "$page/page.js" "$page/manifest.webmanifest" "$out.new/"
cp "$wasm/bin/orbelline.js" "$wasm/bin/orbelline.wasm" "$pack" "$out.new/"
cp "$native/art/icon-192.png" "$native/art/icon-512.png" "$out.new/"
# The cache name changes with every build, so an installed page takes it.
build_id="$(cat "$out.new"/* | sha256sum | cut -c1-12)"
sed "s/@BUILD@/$build_id/" "$page/sw.js" >"$out.new/sw.js"
rm -rf "$out"
mv "$out.new" "$out"
echo "web: $out ($(du -sh "$out" | cut -f1))"
