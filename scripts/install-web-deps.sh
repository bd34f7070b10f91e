#!/usr/bin/env bash
# Installs what the browser build and its tests need: emscripten, chromium
# and the tools to unpack Debian source packages, and a deb-src entry for the
# same archive and suites as the binary packages, so `apt-get source` works.
# Does nothing when all is in place already.
set -euo pipefail
if [ "${1:-}" = "--help" ]; then
  echo "usage: scripts/install-web-deps.sh [PACKAGE...]   (also installs the named Debian packages)"
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# deb-src twin of every deb822 source file that lacks one.
added_src=0
for f in /etc/apt/sources.list.d/*.sources; do
  [ -e "$f" ] || continue
  case "$f" in *-src.sources) continue ;; esac
  grep -q '^Types:.*deb-src' "$f" && continue
  twin="${f%.sources}-src.sources"
  [ -e "$twin" ] && continue
  sed 's/^Types:.*/Types: deb-src/' "$f" | $SUDO tee "$twin" >/dev/null
  added_src=1
done
# One-line sources.list entries the same way.
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
   && ! grep -q '^deb-src ' /etc/apt/sources.list; then
  grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
  added_src=1
fi

PACKAGES=(emscripten chromium dpkg-dev fonts-dejavu-core "$@")
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The source lists are read only after an update.
if [ ${#missing[@]} -gt 0 ] || [ "$added_src" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
